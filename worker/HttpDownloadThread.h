#pragma once
// Runs one download at a time on the caller's thread (the scheduler's): probe the size, settle the
// target in the media folder and check the disk, drive the engine with a polling loop while
// reporting to the manager, then hand the finished file to the media library.
//
// Stops. requestStop() and stopAndWait() may come from any thread at any moment of a run; the run
// sees the request at its next step (probe, naming, open, readiness wait, transfer loop) and ends
// as Queued. A request that comes while no run is under way ends the next run before it starts, so
// a stop that races the scheduler's start of a run is never lost. stopAndWait() returns only when no
// run holds an engine file any more: a run keeps the stop handshake lock from its start (the probe
// ends at once on a stop) until its engine file is closed. While it holds it, the run calls the
// manager only in ways that never wait for the manager's state lock, which a stopping operation
// holds while it waits here (the manager answers playDownload from the scheduler thread by trying
// that lock). The worker must not be destroyed while download() runs: the manager joins its
// scheduler thread first.
//
// Locks: the handshake lock is taken before the item lock, never the other way round. The item lock
// serialises the library work of a run (the progress-side block, the media hand-off, the failure
// report); the current-item lock only guards the pointer getCurrentItem() hands out.

#include "lmtl/RefCountedPtr.h"
#include "plugin/PluginContext.h"
#include "plugin/PluginInterfaceHandle.h"
#include "worker/DiskSpace.h"
#include "worker/DownloadThreadInterface.h"
#include "worker/EngineApi.h"
#include "worker/FilePlacement.h"
#include "worker/MediaHandOff.h"
#include "worker/WorkerTiming.h"

#include <QString>
#include <QUrl>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace Lumora {

class DownloadInfo;
class HttpHelper;

class HttpDownloadThread : public DownloadThreadInterface {
public:
    // What tests replace; the player runs with the defaults.
    struct Options {
        EngineApi engine = EngineBinding::forwardingTable();
        WorkerTiming timing;
        DiskSpace::FreeSpaceReader freeSpace;  // empty: the host library's
        FilePlacement::Method placement = FilePlacement::Method::Automatic;
    };

    explicit HttpDownloadThread(VSE::PluginContext *context);
    HttpDownloadThread(VSE::PluginContext *context, Options options);
    ~HttpDownloadThread() override;
    HttpDownloadThread(const HttpDownloadThread &) = delete;
    HttpDownloadThread &operator=(const HttpDownloadThread &) = delete;

    bool getCurrentItem(QueuedFileInterface **out) override;
    DownloadStatusValue download(QueuedFileInterface *item) override;
    void expectNext(const QUrl &source) override;
    void stopAndWait() override;
    void setManager(DownloadManagerInterface *manager, DownloadListener *listener) override;
    void requestStop(QueuedFileInterface *item) override;
    void finishInterrupted(QueuedFileInterface *item) override;
    void discardPartial(const QUrl &source) override;
    void cleanStrayParts(const std::vector<QUrl> &queueSources) override;

    // A partial file nobody can resume from is removed once it has not changed for this long.
    static constexpr std::chrono::hours StrayPartAge{24 * 7};

    // The engine's output file of the last run that opened one (empty when it gave none).
    QString outputPath() const;

private:
    // Both hold the stop handshake lock (taken by download()) until the engine file is closed.
    DownloadStatusValue run(QueuedFileInterface *item, std::unique_lock<std::mutex> &handshake);
    DownloadStatusValue transfer(QueuedFileInterface *item, const QUrl &url, const DownloadInfo &info, uint64_t size,
                                 std::unique_lock<std::mutex> &handshake);
    DownloadStatusValue finish(QueuedFileInterface *item, DownloadStatusValue status);
    // Places the file and hands it to the library, under the item lock.
    MediaHandOff::Result handOff(QueuedFileInterface *item, const QString &output, bool alreadyPlaced,
                                 FailureReason *why);
    // The file inspector, acquired at the first call that finds the stream engine; null until then.
    VSE::FileInspectorInterface *acquireInspector();
    DownloadStatusValue waitUntilReady(uint32_t file);
    DownloadStatusValue pollTransfer(QueuedFileInterface *item, uint32_t file, uint64_t size, const QString &host);
    // Waits one polling period, less when the transfer ends within it; returns how long it waited.
    std::chrono::milliseconds waitForNextPoll(uint32_t file, std::chrono::milliseconds elapsed);
    // How long into a transfer its end is looked for more often than once a period.
    static constexpr std::chrono::milliseconds QuickFinishWindow{1000};
    void reportProgress(QueuedFileInterface *item, int32_t percent);
    QString readOutputPath(uint32_t file);
    void failureReport(QueuedFileInterface *item, const FailureReason &reason);
    DownloadStatusValue failWith(QueuedFileInterface *item, const FailureReason &reason);
    void publishTransferState(QueuedFileInterface *item, const VDMFileInfo &record, const QString &host, uint64_t size);
    // Tells the user once (until a run is recorded again) that runs cannot be recorded.
    void warnUnrecordable(QueuedFileInterface *item);
    bool stopRequested() const { return m_stopRequested.load(); }
    DownloadManagerInterface *manager() const { return m_manager.load(); }

    VSE::PluginContext *const m_context;
    const Options m_options;
    const QString m_defaultMediaFolder;  // the host's default, as it was when the plugin loaded
    std::unique_ptr<HttpHelper> m_helper;
    // Acquired once, by the first run or hand-off that finds the stream engine; kept until the end.
    std::mutex m_inspectorMutex;
    std::unique_ptr<VSE::PluginInterfaceHandle> m_inspectorHandle;  // guarded by m_inspectorMutex

    mutable std::mutex m_currentMutex;
    lmtl::RefCountedPtr<QueuedFileInterface> m_currentItem;
    std::mutex m_itemLock;
    std::mutex m_handshake;
    std::atomic<bool> m_stopRequested{false};
    std::atomic<std::thread::id> m_runThread{};
    std::atomic<DownloadManagerInterface *> m_manager{nullptr};
    std::atomic<DownloadListener *> m_listener{nullptr};
    mutable std::mutex m_outputMutex;
    QString m_outputPath;
    // Of the current run, on the scheduler's thread: why it failed, and how much arrived when whole.
    FailureReason m_failure;
    uint64_t m_delivered = 0;
    std::atomic<bool> m_unrecordableWarned{false};
    uint32_t m_lastRetryLogged = 0;
    std::mutex m_nextMutex;
    QUrl m_nextSource;      // guarded by m_nextMutex: what is expected after the current run
    QUrl m_transferSource;  // guarded by m_nextMutex: the address being transferred, empty between transfers
};

} // namespace Lumora
