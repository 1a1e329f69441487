#pragma once
// The download manager as the host, other plugins and its own worker see it
// ("com.vexo.lumora.pluginInterface.DownloadManager").
//
// Host threads call it to add, pause, resume, stop, retry, play, reorder, remove and clear downloads;
// the worker reports size, target, progress and status through it from the scheduler thread. Every
// change is announced on the host's publish/subscribe hub, on the calling thread. Item arguments are
// kept alive by the caller for the call; identifiers are the library's 64-bit identifiers.

#include "host/lmrlibrary/DownloadInfo.h"
#include "plugin/DownloadStatus.h"
#include "plugin/MediaLibrary.h"

#include <QString>
#include <QUrl>

#include <cstdint>

namespace Lumora {

class DownloadListener;

class DownloadManagerInterface {
public:
    using QueuedFileInterface = MediaManagerInterface::QueuedFileInterface;
    using PlaylistInterface = MediaManagerInterface::PlaylistInterface;

    // Deletes the whole plugin object.
    virtual ~DownloadManagerInterface() = default;

    virtual void setDownloadListener(DownloadListener *listener) = 0;
    // Looks the address up in the queue, ignoring user name and password.
    virtual bool findDownload(const QUrl &url, QueuedFileInterface **out) = 0;
    // Queues a new download; out (may be null) receives the item with one reference.
    virtual bool addDownload(QueuedFileInterface **out, const QUrl &url, const QString &title,
                             const QString &description) = 0;
    virtual bool setDownloadStatus(QueuedFileInterface *item, DownloadStatusValue status) = 0;
    virtual bool setDownloadFile(QueuedFileInterface *item, const QUrl &fileUrl) = 0;
    virtual bool setDownloadSize(QueuedFileInterface *item, uint64_t bytes) = 0;
    virtual bool setDownloadProgress(QueuedFileInterface *item, int32_t percent) = 0;
    virtual bool setDownloadCounter(QueuedFileInterface *item, int32_t counter) = 0;
    virtual bool setDownloadOption(QueuedFileInterface *item, int32_t option) = 0;
    virtual bool setDownloadInfo(QueuedFileInterface *item, DownloadInfo info) = 0;
    virtual bool setDownloadFlag(QueuedFileInterface *item, int32_t flag) = 0;
    virtual bool setDownloadPair(QueuedFileInterface *item, int32_t first, int32_t second) = 0;
    virtual bool isPaused() = 0;
    virtual bool hasPendingDownloads() = 0;
    virtual bool hasCompletedDownloads() = 0;
    virtual void pauseAll() = 0;
    virtual void resumeAll() = 0;
    virtual void stopCurrentDownload() = 0;
    virtual void clearCompletedDownloads() = 0;
    virtual bool removeDownload(uint64_t id) = 0;
    virtual void retryDownload(uint64_t id) = 0;
    virtual bool playDownload(uint64_t id) = 0;
    // A negative position means the end.
    virtual bool moveDownload(uint64_t id, int64_t position) = 0;
    virtual void setDownloadPlaylist(PlaylistInterface *playlist) = 0;
};

} // namespace Lumora
