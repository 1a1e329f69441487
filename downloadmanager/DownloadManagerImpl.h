#pragma once
// The download manager's state and the routines its operations share.
//
// Locks, always taken in this order when more than one is held:
//   scheduler gate  - held by the scheduler while it picks the next item; retry and move take it so
//                     that no run starts while they rearrange the queue
//   state lock      - pause, resume, stop, retry, move, remove, clear, and recording a run's result
//   queue lock      - every walk of, insertion into and move within the download playlist
// None is recursive. The scheduler takes the gate and the state lock only by trying, so a host
// operation never waits for the scheduler; the worker runs with no manager lock held.

#include "downloadmanager/DownloadManager.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/PluginInterfaceHandle.h"
#include "worker/DownloadThreadInterface.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace Lumora {

class DownloadManager::DownloadManagerImpl {
public:
    using QueuedFileInterface = MediaManagerInterface::QueuedFileInterface;
    using PlaylistInterface = MediaManagerInterface::PlaylistInterface;
    using ItemPtr = lmtl::RefCountedPtr<QueuedFileInterface>;
    using WorkerFactory = std::function<std::unique_ptr<DownloadThreadInterface>(VSE::PluginContext *)>;

    DownloadManagerImpl(DownloadManager *owner, VSE::PluginContext *context);
    virtual void schedulerLoop();
    virtual ~DownloadManagerImpl();

    // Scheduler thread control. start() creates one thread even when called twice at once; stop()
    // ends and joins it (on the scheduler thread itself it only asks the loop to end).
    void start();
    void stop();
    bool isRunning() const { return m_running.load(); }
    // Cuts an idle pause short: work may have arrived (an item queued, the pause lifted).
    void wake();
    bool onSchedulerThread() const;

    MediaManagerInterface::MediaManager *mediaManager() const;
    PlaylistInterface *playlist() const { return m_downloadPlaylist.get(); }

    // Shared routines of the operations.
    void announceItemChange(QueuedFileInterface *item);
    void announceAndRemove(QueuedFileInterface *item);
    void announceListChange();
    bool moveToPosition(uint64_t id, int64_t position);  // takes the queue lock
    void stopCurrent();
    void enqueue(QueuedFileInterface *item);
    // Calls visit(index, item) for each item in queue order until it returns false. The caller
    // holds the lock the walk needs.
    void walk(const std::function<bool(int64_t, QueuedFileInterface *)> &visit);

    // For tests: how workers are made, and whether start() may create the scheduler thread.
    static void setWorkerFactory(WorkerFactory factory);
    static void setSchedulerEnabled(bool enabled);
    static void setIdlePass(std::chrono::milliseconds pass);  // 500 ms unless a test changes it

    std::unique_ptr<VSE::PluginInterfaceHandle> m_mediaManagerHandle;
    lmtl::RefCountedPtr<PlaylistInterface> m_downloadPlaylist;
    std::unique_ptr<DownloadThreadInterface> m_worker;
    std::thread m_schedulerThread;
    std::mutex m_threadMutex;                // guards m_schedulerThread
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_paused{false};
    std::atomic<uint64_t> m_idlePasses{0};   // passes that started nothing; for tests and diagnostics
    std::atomic<std::thread::id> m_schedulerThreadId{};
    std::mutex m_stateLock;
    std::mutex m_schedulerGate;
    std::mutex m_queueLock;
    DownloadManager *m_owner;
    std::atomic<DownloadListener *> m_listener{nullptr};
    VSE::PluginContext *m_context;

private:
    bool runNextItem();
    void idlePause();

    std::mutex m_wakeMutex;
    std::condition_variable m_wakeCondition;
    bool m_wakeRequested = false;  // guarded by m_wakeMutex
};

} // namespace Lumora
