#include "host/medialibrary/MediaLibrary.h"

#include "host/lmrlibrary/OSUtilities.h"
#include "host/medialibrary/LibraryStore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace Lumora {

namespace {

using namespace MediaManagerInterface;

// The folder with links and ".." resolved, or empty when it does not exist.
QString canonicalFolder(const QString &folder)
{
    return folder.isEmpty() ? QString() : QFileInfo(folder).canonicalFilePath();
}

bool liesInside(const QString &canonicalFile, const QString &canonicalFolderPath)
{
    if (canonicalFolderPath.isEmpty())
        return false;
    const QString prefix = canonicalFolderPath.endsWith('/') ? canonicalFolderPath : canonicalFolderPath + '/';
    return canonicalFile.startsWith(prefix);
}

} // namespace

std::unique_ptr<MediaLibrary> MediaLibrary::open(const LibraryOpenOptions &options, QString *error)
{
    std::shared_ptr<LibraryStore> store = LibraryStore::open(options, error);
    if (!store)
        return nullptr;
    return std::unique_ptr<MediaLibrary>(new MediaLibrary(std::move(store)));
}

MediaLibrary::MediaLibrary(std::shared_ptr<LibraryStore> store) : m_store(std::move(store)) {}

MediaLibrary::~MediaLibrary()
{
    m_store->close();
}

bool MediaLibrary::getPlaylist(int32_t kind, int32_t, int32_t, PlaylistInterface **out)
{
    return kind == DownloadPlaylistKind && m_store->downloadPlaylist(out);
}

bool MediaLibrary::findMediaFile(const QUrl &url, MediaFileInterface **out)
{
    return m_store->findMediaFile(url, out);
}

bool MediaLibrary::addVideoFile(QueuedFileInterface *item, uint64_t fileMeasure, uint64_t trackMeasure,
                                VideoFileInterface **out)
{
    if (!item)
        return false;
    MediaFileRecord record;
    record.kind = MediaKindVideo;
    record.url = item->fileUrl();
    // The download's name ("clip"), not its title, which the worker sets to the file name.
    record.title = item->name().isEmpty() ? item->title() : item->name();
    record.durationMs = fileMeasure;
    record.width = static_cast<int32_t>(trackMeasure & 0xffffffffu);
    record.height = static_cast<int32_t>(trackMeasure >> 32);
    record.sourceItemId = item->id();
    record.addedAt = QDateTime::currentMSecsSinceEpoch();
    return m_store->addVideoFile(record, out);
}

bool MediaLibrary::findAcquiredFile(const QUrl &url, AcquiredFileInterface **out)
{
    return m_store->findAcquiredFile(url, out);
}

bool MediaLibrary::createQueuedItem(const QUrl &address, const QString &title, const QUrl &sourceAddress,
                                    QueuedFileInterface **out)
{
    return m_store->createItem(address, title, sourceAddress, out);
}

bool MediaLibrary::getItem(uint64_t id, QueuedFileInterface **out)
{
    return m_store->getItem(id, out);
}

bool MediaLibrary::acceptFile(QUrl fileUrl)
{
    if (!fileUrl.isLocalFile())
        return false;
    const QString file = QFileInfo(fileUrl.toLocalFile()).canonicalFilePath();
    if (file.isEmpty())
        return false;
    // Only a regular file: a device or a pipe under the media folder is no video.
    const QByteArray native = QFile::encodeName(file);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0 || !S_ISREG(st.st_mode) || ::access(native.constData(), R_OK) != 0)
        return false;
    return liesInside(file, canonicalFolder(mediaFolder()))
           || liesInside(file, canonicalFolder(OSUtilities::getTempDownloadDirectoryParent()));
}

void MediaLibrary::setMediaFolder(const QString &folder)
{
    std::lock_guard lock(m_folderMutex);
    m_mediaFolder = folder;
}

QString MediaLibrary::mediaFolder() const
{
    {
        std::lock_guard lock(m_folderMutex);
        if (!m_mediaFolder.isEmpty())
            return m_mediaFolder;
    }
    return OSUtilities::getVexoMoviesPathDefault();
}

QString MediaLibrary::databasePath() const
{
    return m_store->databasePath();
}

bool MediaLibrary::isReadOnly() const
{
    return m_store->isReadOnly();
}

lmtl::RefCountedPtr<MediaLibrary::PlaylistInterface> MediaLibrary::downloadPlaylist()
{
    lmtl::RefCountedPtr<PlaylistInterface> playlist;
    m_store->downloadPlaylist(playlist.receive());
    return playlist;
}

std::vector<lmtl::RefCountedPtr<MediaLibrary::QueuedFileInterface>> MediaLibrary::queuedItems()
{
    std::vector<lmtl::RefCountedPtr<QueuedFileInterface>> all;
    for (const auto &item : m_store->items())
        all.emplace_back(item.get());
    return all;
}

std::vector<uint64_t> MediaLibrary::downloadOrder()
{
    return m_store->playlistOrder();
}

bool MediaLibrary::addAcquiredFile(const QUrl &url, AcquiredFileInterface **out)
{
    return m_store->addAcquiredFile(url, out);
}

QString MediaLibrary::writeProblem() const
{
    return m_store->writeProblem();
}

} // namespace Lumora
