#pragma once
// The library's memory and its file, kept in step. Internal to host/medialibrary; hosts use
// MediaLibrary.h.
//
// Every queued file and the download playlist's order are read into memory when the library opens,
// so walking the queue never touches the disk. Every change of the file is one write transaction,
// and memory changes only after that transaction committed: a refused or failed write leaves both
// as they were.
//
// Another process may write the same file (a second `lumora` command beside a running player).
// Before each write and at the start of each walk (count, findByUrl, getItem) the store asks SQLite
// whether another connection committed since it last looked, and if so reads the file again; items
// keep the changes they have not committed yet. Writers wait for each other under the busy timeout.
//
// Locking: the store mutex guards the maps, the order and the connection, and is held for the whole
// of each operation; an object's own mutex guards its attributes and is taken after the store's.
// Objects hold the store (shared_ptr) and the store holds them until close(), which breaks the cycle.

#include "host/medialibrary/LibraryDatabase.h"
#include "host/medialibrary/LibraryMediaFiles.h"
#include "host/medialibrary/LibraryQueuedFile.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/MediaLibrary.h"

#include <QString>
#include <QUrl>

#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace Lumora {

class LibraryPlaylist;

class LibraryStore : public std::enable_shared_from_this<LibraryStore> {
public:
    using QueuedFileInterface = MediaManagerInterface::QueuedFileInterface;
    using PlaylistInterface = MediaManagerInterface::PlaylistInterface;
    using MediaFileInterface = MediaManagerInterface::MediaFileInterface;
    using VideoFileInterface = MediaManagerInterface::VideoFileInterface;
    using AcquiredFileInterface = MediaManagerInterface::AcquiredFileInterface;

    static std::shared_ptr<LibraryStore> open(const LibraryOpenOptions &options, QString *error);
    ~LibraryStore();
    // Closes the file and lets go of every object; objects still held elsewhere keep their last
    // attributes, and their writes answer false from then on.
    void close();
    bool isReadOnly() const;
    QString writeProblem() const;
    QString databasePath() const;

    // Queued files.
    bool createItem(const QUrl &address, const QString &title, const QUrl &sourceAddress, QueuedFileInterface **out);
    bool getItem(uint64_t id, QueuedFileInterface **out);
    std::vector<lmtl::RefCountedPtr<LibraryQueuedFile>> items();
    bool commitItem(LibraryQueuedFile &item);
    bool removeItem(LibraryQueuedFile &item);

    // The download playlist.
    bool downloadPlaylist(PlaylistInterface **out);
    int64_t playlistCount();
    bool playlistItemAt(int64_t index, QueuedFileInterface **out);
    bool playlistFindByUrl(const QUrl &url, QueuedFileInterface **out);
    bool playlistMove(int64_t position, uint64_t id);
    bool playlistInsert(int64_t position, QueuedFileInterface *item);
    std::vector<uint64_t> playlistOrder();

    // Media and acquired files.
    bool findMediaFile(const QUrl &url, MediaFileInterface **out);
    bool addVideoFile(const MediaFileRecord &record, VideoFileInterface **out);
    bool commitVideoFile(LibraryVideoFile &file);
    bool findAcquiredFile(const QUrl &url, AcquiredFileInterface **out);
    bool addAcquiredFile(const QUrl &url, AcquiredFileInterface **out);

private:
    LibraryStore() = default;

    bool reload(QString *error);
    void refreshVideos();
    void reattachStrayItems();
    void refreshIfChanged();
    bool allocateId(uint64_t *id);
    bool writeOrder(const std::vector<uint64_t> &order);
    lmtl::RefCountedPtr<LibraryVideoFile> cachedVideo(const QString &key) const;
    lmtl::RefCountedPtr<LibraryVideoFile> loadVideo(const QString &key);

    mutable std::mutex m_mutex;
    std::unique_ptr<LibraryDatabase> m_db;  // null once closed
    QString m_path;
    int64_t m_dataVersion = -1;
    std::unordered_map<uint64_t, lmtl::RefCountedPtr<LibraryQueuedFile>> m_items;
    std::vector<uint64_t> m_order;  // the download playlist, head first
    uint64_t m_playlistId = 0;
    lmtl::RefCountedPtr<LibraryPlaylist> m_playlist;
    // Media and acquired files are read on demand and kept once read.
    std::unordered_map<QString, lmtl::RefCountedPtr<LibraryVideoFile>> m_videos;  // by file key
    std::unordered_map<QString, lmtl::RefCountedPtr<LibraryAcquiredFile>> m_acquired;
};

class LibraryPlaylist final : public lmtl::RefCountedImpl<MediaManagerInterface::PlaylistInterface> {
public:
    explicit LibraryPlaylist(std::shared_ptr<LibraryStore> store, uint64_t id) : m_store(std::move(store)), m_id(id) {}
    uint64_t id() const override { return m_id; }
    int64_t count() const override { return m_store->playlistCount(); }
    bool itemAt(int64_t index, MediaManagerInterface::QueuedFileInterface **out) const override
    {
        return m_store->playlistItemAt(index, out);
    }
    bool findByUrl(const QUrl &url, MediaManagerInterface::QueuedFileInterface **out) const override
    {
        return m_store->playlistFindByUrl(url, out);
    }
    bool moveItem(int64_t position, uint64_t id) override { return m_store->playlistMove(position, id); }
    bool insertItem(int64_t position, MediaManagerInterface::QueuedFileInterface *item) override
    {
        return m_store->playlistInsert(position, item);
    }

private:
    ~LibraryPlaylist() override = default;

    std::shared_ptr<LibraryStore> m_store;
    const uint64_t m_id;
};

} // namespace Lumora
