#pragma once
// One queued file (one download) of the library.
//
// The library keeps exactly one object per item for as long as the item exists, so every holder
// sees the same attributes, including changes that were never committed: the download manager
// resets statuses and sets play-when-ready without committing, and relies on the next holder
// seeing them. Setters change this object only; commit() writes every attribute in one
// transaction. Attributes are guarded by the object's own mutex, so reading them never waits for
// the database.
//
// Meaning of the queries the download manager asks:
//   isFreshStart   nothing of the download is kept: no progress has been recorded (progress 0), or
//                  the finished file was handed to the player (markCompleted), so a new run starts
//                  again from zero, under a new name. Recording progress below 100 after that ends
//                  the fresh state again.
//   isStartable    the item may start (or continue) as it stands: its source address is usable and
//                  its status is one the scheduler starts (Queued, Active, Downloading, Waiting).
//   isRestartable  the item may be started over: its source address is usable, whatever its
//                  status (Failed and Invalid items included).
//   markCompleted  records when the finished file was handed to the player, and commits the item.
// An item that was removed refuses every setter and commit.
//
// Temporary credentials (setDownloadInfo) stay in memory: the worker takes them from the source
// address on every run, and a second copy of a password on disk would serve no one.

#include "host/lmrlibrary/DownloadInfo.h"
#include "lmtl/IRefCounted.h"
#include "plugin/MediaLibrary.h"

#include <QString>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <mutex>

namespace Lumora {

class LibraryStore;

// Everything the library stores about a queued file.
struct QueuedItemRecord {
    QUrl sourceUrl;
    QUrl fileUrl;
    QString title;
    QString name;
    QString description;
    DownloadStatusValue status = Queued;
    uint64_t size = 0;
    int32_t progress = 0;
    uint64_t timeRemaining = 0;
    int64_t lastProgressTime = 0;
    int64_t counter = 0;
    int32_t option = 0;
    int32_t flag = 0;
    int32_t pairFirst = 0;
    int32_t pairSecond = 0;
    bool playWhenReady = false;
    int64_t completedAt = 0;  // milliseconds since the epoch when handed to the player; 0 before
    int64_t createdAt = 0;
    FailureReason failure;
    int64_t finishedAt = 0;   // milliseconds since the epoch when it last became Completed or Failed
    QString pendingFinish;
};

// Whether an address can be fetched at all: what isStartable and isRestartable both require.
bool isUsableSourceUrl(const QUrl &url);

class LibraryQueuedFile final : public lmtl::RefCountedImpl<MediaManagerInterface::QueuedFileInterface> {
public:
    LibraryQueuedFile(std::shared_ptr<LibraryStore> store, uint64_t id, const QueuedItemRecord &record);

    bool commit() override;
    bool remove() override;
    uint64_t id() const override { return m_id; }
    QUrl fileUrl() const override;
    bool setFileUrl(const QUrl &url) override;
    bool setTitle(const QString &title) override;
    bool setSize(uint64_t bytes) override;
    QString name() const override;
    bool setDescription(const QString &description) override;
    QUrl sourceUrl() const override;
    bool setOption(int32_t option) override;
    DownloadStatusValue status() const override;
    bool setStatus(const DownloadStatusValue &status) override;
    bool isFreshStart() const override;
    int32_t progress() const override;
    bool setProgress(int64_t percent) override;
    bool markCompleted() override;
    bool setTimeRemaining(uint64_t milliseconds) override;
    int64_t lastProgressTime() const override;
    bool setLastProgressTime(int64_t milliseconds) override;
    bool setCounter(int64_t counter) override;
    bool playWhenReady() const override;
    bool setPlayWhenReady(const bool &play) override;
    bool setFlag(int32_t flag) override;
    bool isStartable() const override;
    bool isRestartable() const override;
    bool setPair(int32_t first, int32_t second) override;
    bool setDownloadInfo(const DownloadInfo &info) override;
    QString title() const override;
    QString description() const override;
    uint64_t size() const override;
    uint64_t timeRemaining() const override;
    int64_t counter() const override;
    int32_t option() const override;
    int32_t flag() const override;
    DownloadInfo downloadInfo() const override;
    int64_t createdAt() const override;
    int64_t finishedAt() const override;
    bool setFailureReason(const FailureReason &reason) override;
    FailureReason failureReason() const override;
    void setTransferState(const TransferState &state) override;
    TransferState transferState() const override;
    bool setPendingFinish(const QString &engineOutput) override;
    QString pendingFinish() const override;

    // Also for hosts: the pair last set, and when the download was handed to the player.
    std::pair<int32_t, int32_t> pair() const;
    int64_t completedAt() const;

    // For the store.
    struct Snapshot {
        QueuedItemRecord record;
        uint64_t generation = 0;
    };
    Snapshot snapshot() const;
    // The snapshot of that generation is on disk; later changes stay pending.
    void markCommitted(uint64_t generation);
    // Another process changed the stored item: attributes without pending changes take its values.
    void mergeStored(const QueuedItemRecord &stored);
    void markRemoved();
    bool isRemoved() const;
    bool belongsTo(const LibraryStore *store) const { return m_store.get() == store; }
    // The source address without user name and password, in one text form: findByUrl compares these.
    const QString &sourceKey() const { return m_sourceKey; }

private:
    ~LibraryQueuedFile() override;
    // Applies a change to the record under the lock, unless the item was removed.
    template <class Change>
    bool change(uint32_t field, Change &&apply);

    std::shared_ptr<LibraryStore> m_store;
    const uint64_t m_id;
    const QString m_sourceKey;
    mutable std::mutex m_mutex;
    QueuedItemRecord m_record;
    uint32_t m_pending = 0;    // fields changed since the last commit
    uint64_t m_generation = 0; // counts changes, so a commit knows whether it wrote the latest
    bool m_removed = false;
    DownloadInfo m_downloadInfo;
    TransferState m_transfer;  // never stored
};

} // namespace Lumora
