#pragma once
// The download manager's state, its scheduler, and the operations that need its locks.
//
// Locks, always taken in this order when more than one is held:
//   scheduler gate  - held by the scheduler while it picks the next item; retry and move take it so
//                     that no run starts while they rearrange the queue
//   state lock      - pause, resume, stop, retry, move, remove, clear, and recording a run's result
//   queue lock      - every walk of, insertion into and move within the download playlist
// None is recursive. The scheduler takes the gate and the state lock only by trying, so a host
// operation never waits for the scheduler; the worker runs with no manager lock held.
//
// Every status change goes through changeStatus() (plugin/StatusTransition.h); this class keeps the
// queue's order for it.

#include "downloadmanager/DownloadManager.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/PluginInterfaceHandle.h"
#include "plugin/StatusTransition.h"
#include "worker/DownloadThreadInterface.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace Lumora {

class DownloadManager::DownloadManagerImpl : private QueueOrderKeeper {
public:
    using QueuedFileInterface = MediaManagerInterface::QueuedFileInterface;
    using PlaylistInterface = MediaManagerInterface::PlaylistInterface;
    using ItemPtr = lmtl::RefCountedPtr<QueuedFileInterface>;
    using WorkerFactory = std::function<std::unique_ptr<DownloadThreadInterface>(VSE::PluginContext *)>;

    DownloadManagerImpl(DownloadManager *owner, VSE::PluginContext *context);
    virtual void schedulerLoop();
    virtual ~DownloadManagerImpl();

    // Construction: keeps the media manager and asks it for the download playlist. True when both
    // are there, so that the scheduler may run.
    bool attachMediaLibrary(std::unique_ptr<VSE::PluginInterfaceHandle> mediaManager);
    // Before the scheduler's first pass: every download a crash left half finished is finished, or
    // queued again when nothing is left to finish it with.
    void finishInterruptedRuns();

    // Scheduler thread control. start() creates one thread even when called twice at once; stop()
    // ends and joins it (on the scheduler thread itself it only asks the loop to end).
    void start();
    void stop();
    bool isRunning() const { return m_running.load(); }
    uint64_t idlePasses() const { return m_idlePasses.load(); }  // passes that started nothing

    MediaManagerInterface::MediaManager *mediaManager() const;
    PlaylistInterface *playlist() const { return m_downloadPlaylist.get(); }
    void setDownloadPlaylist(PlaylistInterface *playlist) { m_downloadPlaylist.reset(playlist); }
    void setListener(DownloadListener *listener, DownloadManagerInterface *manager);

    // The operations of DownloadManagerInterface that use the queue or the locks.
    bool addDownload(QueuedFileInterface **out, const QUrl &url, const QString &title, const QString &description);
    bool recordStatus(QueuedFileInterface *item, DownloadStatusValue status);
    bool isPaused() const { return m_paused.load(); }
    bool hasPendingDownloads();
    bool hasCompletedDownloads();
    void pauseAll();
    void resumeAll();
    void stopCurrentDownload();
    void clearCompletedDownloads();
    bool removeDownload(uint64_t id);
    void retryDownload(uint64_t id);
    bool playDownload(uint64_t id);
    bool moveDownload(uint64_t id, int64_t position);

    void announceItemChange(QueuedFileInterface *item);

    // For tests: how workers are made, whether start() may create the scheduler thread, and the
    // idle pass (500 ms unless a test changes it). Not exported by the plugin library.
    static void setWorkerFactory(WorkerFactory factory);
    static void setSchedulerEnabled(bool enabled);
    static void setIdlePass(std::chrono::milliseconds pass);

private:
    friend struct DownloadManagerImplTestAccess;  // tests hold the locks to stage races

    bool onSchedulerThread() const;
    // Cuts an idle pause short: work may have arrived (an item queued, the pause lifted).
    void wake();
    bool runNextItem();
    void idlePause();

    void announceAndRemove(QueuedFileInterface *item);
    void announceListChange();
    bool moveToPosition(uint64_t id, int64_t position);  // takes the queue lock
    void moveToEnd(QueuedFileInterface *item) override;  // QueueOrderKeeper
    void stopCurrent();
    void enqueue(QueuedFileInterface *item);
    void hintIfNext(QueuedFileInterface *added);
    bool pauseAllLocked();   // with the state lock held; true when this call paused
    bool resumeAllLocked();  // with the state lock held; true when this call resumed
    void announcePaused(bool paused);
    // Whether the item is the next one the scheduler would start.
    bool isNextInLine(uint64_t id);
    bool lockState(std::unique_lock<std::mutex> &state);  // on the scheduler thread only by trying

    std::unique_ptr<VSE::PluginInterfaceHandle> m_mediaManagerHandle;
    lmtl::RefCountedPtr<PlaylistInterface> m_downloadPlaylist;
    std::unique_ptr<DownloadThreadInterface> m_worker;
    std::thread m_schedulerThread;
    std::mutex m_threadMutex;  // guards m_schedulerThread
    std::atomic<bool> m_stopRequested{false};
    std::atomic<bool> m_running{false};
    std::atomic<bool> m_paused{false};
    std::atomic<uint64_t> m_idlePasses{0};
    std::atomic<std::thread::id> m_schedulerThreadId{};
    std::mutex m_stateLock;
    std::mutex m_schedulerGate;
    std::mutex m_queueLock;
    DownloadManager *m_owner;
    std::atomic<DownloadListener *> m_listener{nullptr};
    VSE::PluginContext *m_context;

    std::mutex m_wakeMutex;
    std::condition_variable m_wakeCondition;
    bool m_wakeRequested = false;  // guarded by m_wakeMutex
};

} // namespace Lumora
