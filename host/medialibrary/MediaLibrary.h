#pragma once
// The player's media library, for hosts: open a library file and use it through the same
// MediaManager interfaces the plugins see (the media library plugin is a thin shell around this),
// plus what only a host needs: every item, the queue order, the media folder, acquired files.
//
//   QString error;
//   auto library = Lumora::MediaLibrary::open({Lumora::OSUtilities::libraryDatabasePath()}, &error);
//   if (!library) { report(error); return; }
//   lmtl::RefCountedPtr<PlaylistInterface> queue;
//   library->getPlaylist(DownloadPlaylistKind, 0, 0, queue.receive());
//
// What the file is and how it is kept safe: LibraryDatabase.h. How items behave: LibraryQueuedFile.h.
// All operations are safe from any thread. Destroying the library closes the file; objects still
// held keep their last attributes, and their writes answer false from then on.
//
// The file acceptor accepts a readable regular file that lies (after resolving links and "..")
// inside the media folder or inside the folder the temporary download directory was last put under
// (OSUtilities::setTempDownloadDirectoryParent, which the download worker points at the media folder
// setting). The media folder is OSUtilities::getVexoMoviesPathDefault() until the host sets another.

#include "host/medialibrary/LibraryDatabase.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/MediaLibrary.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <mutex>
#include <vector>

namespace Lumora {

class LibraryStore;

class MediaLibrary final : public MediaManagerInterface::MediaManager,
                           public MediaManagerInterface::MediaManagerV2,
                           public MediaManagerInterface::FileAcceptor {
public:
    using QueuedFileInterface = MediaManagerInterface::QueuedFileInterface;
    using PlaylistInterface = MediaManagerInterface::PlaylistInterface;

    // Null, with the reason in error, when the file cannot be used (see LibraryDatabase.h).
    static std::unique_ptr<MediaLibrary> open(const LibraryOpenOptions &options, QString *error);
    ~MediaLibrary() override;
    MediaLibrary(const MediaLibrary &) = delete;
    MediaLibrary &operator=(const MediaLibrary &) = delete;

    // MediaManager. getPlaylist knows one kind, the download playlist (16); its other two arguments
    // are not used. createQueuedItem takes address as the item's source (sourceAddress only when
    // address is empty) and title as its name and first title; the item is stored at once.
    bool getPlaylist(int32_t kind, int32_t a, int32_t b, PlaylistInterface **out) override;
    bool findMediaFile(const QUrl &url, MediaManagerInterface::MediaFileInterface **out) override;
    // False when the item has no file, or the library already knows a media file at its address.
    bool addVideoFile(QueuedFileInterface *item, uint64_t fileMeasure, uint64_t trackMeasure,
                      MediaManagerInterface::VideoFileInterface **out) override;
    bool findAcquiredFile(const QUrl &url, MediaManagerInterface::AcquiredFileInterface **out) override;
    bool createQueuedItem(const QUrl &address, const QString &title, const QUrl &sourceAddress,
                          QueuedFileInterface **out) override;
    bool getItem(uint64_t id, QueuedFileInterface **out) override;

    // MediaManagerV2 and its acceptor.
    MediaManagerInterface::FileAcceptor *fileAcceptor() override { return this; }
    bool acceptFile(QUrl fileUrl) override;

    // For hosts.
    void setMediaFolder(const QString &folder);  // empty: back to the default
    QString mediaFolder() const;
    QString databasePath() const;
    bool isReadOnly() const;
    // Why a change cannot be stored now (read-only, locked by another program, a full disk); empty
    // when it can.
    QString writeProblem() const;
    lmtl::RefCountedPtr<PlaylistInterface> downloadPlaylist();
    // Every queued file, in or out of the playlist, oldest first.
    std::vector<lmtl::RefCountedPtr<QueuedFileInterface>> queuedItems();
    // The download playlist's item ids, head first.
    std::vector<uint64_t> downloadOrder();
    bool addAcquiredFile(const QUrl &url, MediaManagerInterface::AcquiredFileInterface **out);

private:
    explicit MediaLibrary(std::shared_ptr<LibraryStore> store);

    std::shared_ptr<LibraryStore> m_store;
    mutable std::mutex m_folderMutex;
    QString m_mediaFolder;
};

} // namespace Lumora
