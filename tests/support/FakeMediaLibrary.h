#pragma once
// An in-memory media library for unit tests: a plugin answering "MediaManager" and "MediaManagerV2",
// with queued items, one download playlist, video files and acquired files. Thread-safe. Tests can
// make items refuse setStatus or commit, and make the playlist's itemAt fail at an index.

#include "lmtl/IRefCounted.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/MediaLibrary.h"
#include "plugin/Plugin.h"

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace LumoraTest {

using namespace Lumora::MediaManagerInterface;

class FakeMediaLibrary;
struct FakeLibraryState;

class FakeQueuedFile : public lmtl::RefCountedImpl<QueuedFileInterface> {
public:
    FakeQueuedFile(std::shared_ptr<FakeLibraryState> state, uint64_t id, const QUrl &source, const QString &title);

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
    Lumora::DownloadStatusValue status() const override { return m_status.load(); }
    bool setStatus(const Lumora::DownloadStatusValue &status) override;
    bool isFreshStart() const override;
    int32_t progress() const override { return m_progress.load(); }
    bool setProgress(int64_t percent) override;
    bool markCompleted() override;
    bool setTimeRemaining(uint64_t ms) override;
    int64_t lastProgressTime() const override { return m_lastProgressTime.load(); }
    bool setLastProgressTime(int64_t ms) override;
    bool setCounter(int64_t counter) override;
    bool playWhenReady() const override { return m_playWhenReady.load(); }
    bool setPlayWhenReady(const bool &play) override;
    bool setFlag(int32_t flag) override;
    bool isStartable() const override { return startable.load(); }
    bool isRestartable() const override { return restartable.load(); }
    bool setPair(int32_t first, int32_t second) override;
    bool setDownloadInfo(const Lumora::DownloadInfo &info) override;
    QString title() const override;
    QString description() const override;
    uint64_t size() const override { return m_size.load(); }
    uint64_t timeRemaining() const override { return m_timeRemaining.load(); }
    int64_t counter() const override { return m_counter.load(); }
    int32_t option() const override { return m_option.load(); }
    int32_t flag() const override { return m_flag.load(); }
    Lumora::DownloadInfo downloadInfo() const override;
    int64_t createdAt() const override { return 0; }
    int64_t finishedAt() const override { return 0; }
    bool setFailureReason(const Lumora::FailureReason &reason) override;
    Lumora::FailureReason failureReason() const override;
    void setTransferState(const Lumora::TransferState &state) override;
    Lumora::TransferState transferState() const override;
    bool setPendingFinish(const QString &engineOutput) override;
    QString pendingFinish() const override;

    // Test controls and observations.
    std::atomic<bool> refuseSetStatus{false};
    std::atomic<bool> refuseCommit{false};
    std::atomic<bool> startable{true};
    std::atomic<bool> restartable{true};
    std::atomic<bool> freshStart{true};
    std::atomic<int> commits{0};
    std::atomic<int> completedMarks{0};
    Lumora::DownloadStatusValue committedStatus() const { return m_committedStatus.load(); }
    Lumora::FailureReason committedFailureReason() const;
    std::pair<int32_t, int32_t> pair() const;

private:
    std::shared_ptr<FakeLibraryState> m_state;
    const uint64_t m_id;
    mutable std::mutex m_mutex;  // guards the QString/QUrl attributes
    QUrl m_source;
    QUrl m_file;
    QString m_title;
    QString m_description;
    Lumora::DownloadInfo m_info;
    std::pair<int32_t, int32_t> m_pair{0, 0};
    Lumora::FailureReason m_failure;
    Lumora::FailureReason m_committedFailure;
    Lumora::TransferState m_transfer;
    QString m_pendingFinish;
    std::atomic<Lumora::DownloadStatusValue> m_status{Lumora::Queued};
    std::atomic<Lumora::DownloadStatusValue> m_committedStatus{0};
    std::atomic<int32_t> m_progress{0};
    std::atomic<uint64_t> m_size{0};
    std::atomic<uint64_t> m_timeRemaining{0};
    std::atomic<int64_t> m_lastProgressTime{0};
    std::atomic<int64_t> m_counter{0};
    std::atomic<int32_t> m_option{0};
    std::atomic<int32_t> m_flag{0};
    std::atomic<bool> m_playWhenReady{false};
};

class FakePlaylist : public lmtl::RefCountedImpl<PlaylistInterface> {
public:
    explicit FakePlaylist(std::shared_ptr<FakeLibraryState> state) : m_state(std::move(state)) {}
    uint64_t id() const override { return 1000; }
    int64_t count() const override;
    bool itemAt(int64_t index, QueuedFileInterface **out) const override;
    bool findByUrl(const QUrl &url, QueuedFileInterface **out) const override;
    bool moveItem(int64_t position, uint64_t id) override;
    bool insertItem(int64_t position, QueuedFileInterface *item) override;

private:
    std::shared_ptr<FakeLibraryState> m_state;
};

class FakeVideoFile : public lmtl::RefCountedImpl<VideoFileInterface> {
public:
    FakeVideoFile(uint64_t id, const QUrl &url) : m_id(id), m_url(url) {}
    uint64_t id() const override { return m_id; }
    QUrl fileUrl() const override { return m_url; }
    bool commit() override { return !refuseCommit.load(); }
    void setTrackInfo(int32_t low, int32_t high) override { trackLow = low; trackHigh = high; }

    std::atomic<bool> refuseCommit{false};
    std::atomic<int32_t> trackLow{0}, trackHigh{0};
    uint64_t fileMeasure = 0, trackMeasure = 0;

private:
    uint64_t m_id;
    QUrl m_url;
};

class FakeAcquiredFile : public lmtl::RefCountedImpl<AcquiredFileInterface> {
public:
    FakeAcquiredFile(uint64_t id, const QUrl &url) : m_id(id), m_url(url) {}
    uint64_t id() const override { return m_id; }
    QUrl fileUrl() const override { return m_url; }

private:
    uint64_t m_id;
    QUrl m_url;
};

// Shared by the library, its playlist and its items.
struct FakeLibraryState {
    mutable std::recursive_mutex mutex;
    uint64_t nextId = 1;
    std::map<uint64_t, lmtl::RefCountedPtr<FakeQueuedFile>> items;
    std::vector<lmtl::RefCountedPtr<FakeQueuedFile>> playlist;  // the download queue, head first
    std::vector<lmtl::RefCountedPtr<FakeVideoFile>> videos;
    std::vector<lmtl::RefCountedPtr<FakeAcquiredFile>> acquired;
    int64_t failItemAtIndex = -1;  // itemAt of this index answers false
};

class FakeMediaLibrary : public VSE::Plugin, public MediaManager, public MediaManagerV2, public FileAcceptor {
public:
    explicit FakeMediaLibrary(VSE::PluginContext *context);
    ~FakeMediaLibrary() override;

    int32_t getInterface(const VSE::AllocatedString<char> &name, void **out) override;

    bool getPlaylist(int32_t kind, int32_t a, int32_t b, PlaylistInterface **out) override;
    bool findMediaFile(const QUrl &url, MediaFileInterface **out) override;
    bool addVideoFile(QueuedFileInterface *item, uint64_t fileMeasure, uint64_t trackMeasure,
                      VideoFileInterface **out) override;
    bool findAcquiredFile(const QUrl &url, AcquiredFileInterface **out) override;
    bool createQueuedItem(const QUrl &address, const QString &title, const QUrl &source,
                          QueuedFileInterface **out) override;
    bool getItem(uint64_t id, QueuedFileInterface **out) override;
    FileAcceptor *fileAcceptor() override { return this; }
    bool acceptFile(QUrl fileUrl) override;

    // Test helpers.
    lmtl::RefCountedPtr<FakeQueuedFile> addItem(const QString &url, Lumora::DownloadStatusValue status, bool inPlaylist = true);
    lmtl::RefCountedPtr<FakeQueuedFile> item(uint64_t id) const;
    std::vector<uint64_t> playlistIds() const;
    std::vector<lmtl::RefCountedPtr<FakeVideoFile>> videos() const;
    void addAcquiredFile(const QUrl &url);
    void setFailItemAtIndex(int64_t index);
    const std::shared_ptr<FakeLibraryState> &state() const { return m_state; }

    std::atomic<bool> provideV2{true};
    std::atomic<bool> refusePlaylist{false};
    std::atomic<bool> refuseCreate{false};
    std::atomic<bool> refuseAddVideo{false};
    std::atomic<bool> acceptFiles{true};

private:
    std::shared_ptr<FakeLibraryState> m_state;
    lmtl::RefCountedPtr<FakePlaylist> m_playlist;
};

} // namespace LumoraTest
