#include "worker/TargetNaming.h"

#include "lmtl/RefCountedPtr.h"
#include "plugin/InterfaceNames.h"
#include "plugin/PluginInterfaceHandle.h"
#include "worker/WorkerSettings.h"

#include <QDir>
#include <QFileInfo>

namespace Lumora::TargetNaming {

namespace {

// Room for "[counter]" and the suffix within the 255 bytes a file name may have.
constexpr int kMaxStemBytes = 200;
// A library that claims every name would otherwise keep the scheduler here for good.
constexpr int kMaxCounter = 100000;

bool isUnsafeCharacter(QChar c)
{
    return c == u'/' || c == u'\\' || c.category() == QChar::Other_Control;
}

bool isTrimmedAtEdge(QChar c)
{
    return c == u'.' || c.isSpace();
}

QString cleanFolder(const QString &folder)
{
    return QDir::cleanPath(QDir::fromNativeSeparators(folder));
}

QString truncateUtf8(const QString &text, int maxBytes)
{
    if (text.toUtf8().size() <= maxBytes)
        return text;
    QString out;
    int bytes = 0;
    for (int i = 0; i < text.size(); ++i) {
        const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const QString unit = pair ? text.mid(i, 2) : text.mid(i, 1);
        const int size = static_cast<int>(unit.toUtf8().size());
        if (bytes + size > maxBytes)
            break;
        out += unit;
        bytes += size;
        if (pair)
            ++i;
    }
    return out;
}

bool nameTaken(const QString &candidate, MediaManagerInterface::MediaManager *library)
{
    if (QFileInfo::exists(candidate) || QFileInfo(candidate).isSymLink())
        return true;
    if (!library)
        return false;
    const QUrl url = QUrl::fromLocalFile(candidate);
    lmtl::RefCountedPtr<MediaManagerInterface::MediaFileInterface> media;
    if (library->findMediaFile(url, media.receive()))
        return true;
    lmtl::RefCountedPtr<MediaManagerInterface::AcquiredFileInterface> acquired;
    return library->findAcquiredFile(url, acquired.receive());
}

bool hasSafeName(const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    return !name.isEmpty() && safeFileStem(name) == name;
}

} // namespace

QString safeFileStem(const QString &name)
{
    QString out;
    out.reserve(name.size());
    for (QChar c : name)
        out += isUnsafeCharacter(c) ? QChar(u'_') : c;
    // A run of dots reads as a parent folder to too many tools, even when it is not a path element.
    for (qsizetype at = out.indexOf(QLatin1String("..")); at >= 0; at = out.indexOf(QLatin1String(".."))) {
        qsizetype end = at;
        while (end < out.size() && out.at(end) == u'.')
            ++end;
        out.replace(at, end - at, QChar(u'_'));
    }
    auto trim = [](QString &text) {
        while (!text.isEmpty() && isTrimmedAtEdge(text.front()))
            text.remove(0, 1);
        while (!text.isEmpty() && isTrimmedAtEdge(text.back()))
            text.chop(1);
    };
    trim(out);
    out = truncateUtf8(out, kMaxStemBytes);
    trim(out);
    return out.isEmpty() ? QString::fromLatin1(UnknownName) : out;
}

QString mediaFolder(const QString &defaultFolder)
{
    const QString stored = WorkerSettings::readMediaFolder(defaultFolder);
    return stored.isEmpty() ? defaultFolder : stored;
}

bool liesDirectlyIn(const QString &path, const QString &folder)
{
    if (path.isEmpty() || folder.isEmpty())
        return false;
    const QString cleanPath = QDir::cleanPath(QDir::fromNativeSeparators(path));
    return QFileInfo(cleanPath).path() == cleanFolder(folder) && cleanPath != cleanFolder(folder);
}

QString nameTarget(QueuedFileInterface *item, const QString &mediaFolder, VSE::PluginContext *context)
{
    const QString folder = cleanFolder(mediaFolder);
    const QUrl file = item->fileUrl();
    if (file.isLocalFile()) {
        // The item's own file, when a run before this one already named it here: a fresh start
        // writes it anew, unless something else has taken the name meanwhile.
        const QString path = QDir::cleanPath(file.toLocalFile());
        if (liesDirectlyIn(path, folder) && hasSafeName(path) && !QFileInfo::exists(path))
            return path;
    }

    const QString stem = folder + u'/' + safeFileStem(item->name());
    VSE::PluginInterfaceHandle handle(VSE::InterfaceNames::mediaManager());
    handle.acquire(context);
    auto *library = handle.as<MediaManagerInterface::MediaManager>();

    QString candidate = stem + QLatin1String(Suffix);
    for (int k = 1; nameTaken(candidate, library); ++k) {
        if (k > kMaxCounter)
            return QString();
        candidate = stem + u'[' + QString::number(k) + u']' + QLatin1String(Suffix);
    }
    return candidate;
}

QString decideTarget(QueuedFileInterface *item, const QString &mediaFolder, bool freshDownload,
                     VSE::PluginContext *context)
{
    // A resumed download finishes where it began, even when the media folder has moved since: its
    // partial file belongs to that target. Only a name this worker could have made is kept.
    const QUrl file = item->fileUrl();
    const QString current = file.isLocalFile() ? QDir::cleanPath(file.toLocalFile()) : QString();
    if (!freshDownload && QDir::isAbsolutePath(current) && hasSafeName(current))
        return current;
    return nameTarget(item, mediaFolder, context);
}

} // namespace Lumora::TargetNaming
