#pragma once
// The media library as the download manager uses it.
//
// The host's media manager plugin owns the library: queued files (one per download), the download
// playlist (the queue, in order), media files, video files and acquired files. Every object here is
// reference counted (lmtl::IRefCounted); an object handed out through an out-parameter carries one
// reference for the receiver. A false result leaves the out-parameter untouched.
//
// Setting an attribute changes the object in memory only; commit() persists it. There is one live
// object per identifier, so every holder of an item sees the same attributes. Objects may be used
// from any thread.
//
// The media manager interfaces themselves (MediaManager, MediaManagerV2) are obtained from the
// library plugin with getInterface and live as long as the plugin reference held beside them.

#include "host/lmrlibrary/DownloadInfo.h"
#include "lmtl/IRefCounted.h"
#include "plugin/DownloadStatus.h"
#include "plugin/FailureReason.h"
#include "plugin/TransferState.h"

#include <QString>
#include <QUrl>

#include <cstdint>

namespace Lumora::MediaManagerInterface {

class QueuedFileInterface : public lmtl::IRefCounted {
public:
    virtual bool commit() = 0;
    // Deletes the item from the library, and so from the download playlist.
    virtual bool remove() = 0;
    virtual uint64_t id() const = 0;
    virtual QUrl fileUrl() const = 0;             // the local target file
    virtual bool setFileUrl(const QUrl &url) = 0;
    virtual bool setTitle(const QString &title) = 0;
    virtual bool setSize(uint64_t bytes) = 0;
    virtual QString name() const = 0;             // display name; the target file is named after it
    virtual bool setDescription(const QString &description) = 0;
    virtual QUrl sourceUrl() const = 0;           // where the download comes from
    virtual bool setOption(int32_t option) = 0;
    virtual DownloadStatusValue status() const = 0;
    virtual bool setStatus(const DownloadStatusValue &status) = 0;
    // True while nothing of the download is kept: the next run starts from zero.
    virtual bool isFreshStart() const = 0;
    virtual int32_t progress() const = 0;         // percent, 0..100
    virtual bool setProgress(int64_t percent) = 0;
    // Records that the finished download was handed to the player.
    virtual bool markCompleted() = 0;
    virtual bool setTimeRemaining(uint64_t milliseconds) = 0;
    virtual int64_t lastProgressTime() const = 0; // milliseconds since the epoch, 0 when never
    virtual bool setLastProgressTime(int64_t milliseconds) = 0;
    virtual bool setCounter(int64_t counter) = 0;
    virtual bool playWhenReady() const = 0;
    virtual bool setPlayWhenReady(const bool &play) = 0;
    virtual bool setFlag(int32_t flag) = 0;
    // Whether an item moved to the head of the queue may start (again); false turns it Failed.
    virtual bool isStartable() const = 0;
    virtual bool isRestartable() const = 0;
    virtual bool setPair(int32_t first, int32_t second) = 0;
    virtual bool setDownloadInfo(const DownloadInfo &info) = 0;

    // Read back by hosts (listing, progress display); the download manager does not use them.
    virtual QString title() const = 0;
    virtual QString description() const = 0;
    virtual uint64_t size() const = 0;
    virtual uint64_t timeRemaining() const = 0;
    virtual int64_t counter() const = 0;
    virtual int32_t option() const = 0;
    virtual int32_t flag() const = 0;
    virtual DownloadInfo downloadInfo() const = 0;
    // When the download was added, and when it last became Completed or Failed (0 while it has not):
    // milliseconds since the epoch.
    virtual int64_t createdAt() const = 0;
    virtual int64_t finishedAt() const = 0;

    // Why the download last failed. Set by whoever knows (plugin/FailureReason.h), stored on commit,
    // cleared by the status path when the item is queued or starts again.
    virtual bool setFailureReason(const FailureReason &reason) = 0;
    virtual FailureReason failureReason() const = 0;
    // The running transfer as the worker last read it: in memory only (plugin/TransferState.h).
    virtual void setTransferState(const TransferState &state) = 0;
    virtual TransferState transferState() const = 0;
    // The engine's finished output while the download's finishing (placement, hand-off, library
    // entry) is under way: stored with the Completed status, cleared once the file is in place and
    // in the library. A restart finishes what a crash left behind with it.
    virtual bool setPendingFinish(const QString &engineOutput) = 0;
    virtual QString pendingFinish() const = 0;
};

class PlaylistInterface : public lmtl::IRefCounted {
public:
    virtual uint64_t id() const = 0;
    virtual int64_t count() const = 0;
    // Index 0 is the head.
    virtual bool itemAt(int64_t index, QueuedFileInterface **out) const = 0;
    virtual bool findByUrl(const QUrl &url, QueuedFileInterface **out) const = 0;
    // Moves the item with that identifier to position (clamped to the end).
    virtual bool moveItem(int64_t position, uint64_t id) = 0;
    virtual bool insertItem(int64_t position, QueuedFileInterface *item) = 0;
};

class MediaFileInterface : public lmtl::IRefCounted {
public:
    virtual uint64_t id() const = 0;
    virtual QUrl fileUrl() const = 0;
};

class VideoFileInterface : public MediaFileInterface {
public:
    virtual bool commit() = 0;
    virtual void setTrackInfo(int32_t low, int32_t high) = 0;
};

class AcquiredFileInterface : public lmtl::IRefCounted {
public:
    virtual uint64_t id() const = 0;
    virtual QUrl fileUrl() const = 0;
};

// Kind of playlist asked for by getPlaylist: the download queue.
inline constexpr int32_t DownloadPlaylistKind = 16;

class MediaManager {
public:
    virtual bool getPlaylist(int32_t kind, int32_t a, int32_t b, PlaylistInterface **out) = 0;
    virtual bool findMediaFile(const QUrl &url, MediaFileInterface **out) = 0;
    // Registers the finished download of item as a video file, with the inspector's two measures.
    virtual bool addVideoFile(QueuedFileInterface *item, uint64_t fileMeasure, uint64_t trackMeasure,
                              VideoFileInterface **out) = 0;
    virtual bool findAcquiredFile(const QUrl &url, AcquiredFileInterface **out) = 0;
    virtual bool createQueuedItem(const QUrl &address, const QString &title, const QUrl &sourceAddress,
                                  QueuedFileInterface **out) = 0;
    virtual bool getItem(uint64_t id, QueuedFileInterface **out) = 0;

protected:
    virtual ~MediaManager() = default;
};

class FileAcceptor {
public:
    // True when the file may enter the library.
    virtual bool acceptFile(QUrl fileUrl) = 0;

protected:
    virtual ~FileAcceptor() = default;
};

class MediaManagerV2 {
public:
    // Owned by the library; lives as long as the library plugin.
    virtual FileAcceptor *fileAcceptor() = 0;

protected:
    virtual ~MediaManagerV2() = default;
};

} // namespace Lumora::MediaManagerInterface
