#include "host/context/PluginManifest.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace Lumora {

bool PluginManifest::read(const QString &manifestPath, PluginManifest *out, QString *error)
{
    QFile file(manifestPath);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(manifestPath, file.errorString());
        return false;
    }
    // A manifest is a few lines; anything large is not one.
    constexpr qint64 kLimit = 64 * 1024;
    const QByteArray text = file.read(kLimit + 1);
    if (text.size() > kLimit) {
        *error = QStringLiteral("%1: too large for a plugin manifest").arg(manifestPath);
        return false;
    }
    return parse(text, manifestPath, out, error);
}

bool PluginManifest::parse(const QByteArray &text, const QString &manifestPath, PluginManifest *out, QString *error)
{
    PluginManifest manifest;
    const QFileInfo where(manifestPath);
    int lineNumber = 0;
    for (const QByteArray &rawLine : text.split('\n')) {
        ++lineNumber;
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals <= 0) {
            *error = QStringLiteral("%1:%2: expected key=value").arg(manifestPath).arg(lineNumber);
            return false;
        }
        const QString key = line.left(equals).trimmed().toLower();
        const QString value = line.mid(equals + 1).trimmed();
        if (value.isEmpty()) {
            *error = QStringLiteral("%1:%2: %3 has no value").arg(manifestPath).arg(lineNumber).arg(key);
            return false;
        }
        if (key == QLatin1String("library")) {
            if (!manifest.libraryPath.isEmpty()) {
                *error = QStringLiteral("%1:%2: a manifest names one library").arg(manifestPath).arg(lineNumber);
                return false;
            }
            manifest.libraryPath = QDir::cleanPath(where.absoluteDir().absoluteFilePath(value));
        } else if (key == QLatin1String("name")) {
            manifest.name = value;
        } else if (key == QLatin1String("interface")) {
            if (!manifest.interfaces.contains(value))
                manifest.interfaces << value;
        }
    }
    if (manifest.libraryPath.isEmpty()) {
        *error = QStringLiteral("%1: no library named").arg(manifestPath);
        return false;
    }
    if (manifest.interfaces.isEmpty()) {
        *error = QStringLiteral("%1: no interface named").arg(manifestPath);
        return false;
    }
    if (manifest.name.isEmpty())
        manifest.name = where.completeBaseName();
    *out = manifest;
    return true;
}

} // namespace Lumora
