// The operations of the download manager that work on the queue under its locks. Every one of them
// tolerates a plugin constructed without a media library or download playlist: it answers its
// failure value and touches nothing.

#include "downloadmanager/DownloadManagerImpl.h"

#include "downloadmanager/DownloadRequest.h"
#include "plugin/InterfaceNames.h"
#include "plugin/PlayerInterfaces.h"
#include "plugin/QueueRules.h"
#include "plugin/Topics.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>

namespace Lumora {

using Impl = DownloadManager::DownloadManagerImpl;

namespace {

// How long playDownload waits for the scheduler to start an item before it gives up.
constexpr auto kPlayStartTimeout = std::chrono::seconds(30);
constexpr auto kPlayStartPoll = std::chrono::milliseconds(500);

void processEventsIfMainThread()
{
    QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread())
        QCoreApplication::processEvents();
}

} // namespace

bool Impl::addDownload(QueuedFileInterface **out, const QUrl &url, const QString &title, const QString &description)
{
    if (!mediaManager() || !m_downloadPlaylist)
        return false;
    const DownloadRequest request = DownloadRequest::make(url, title, description);
    if (!request.accepted)
        return false;

    // The item keeps the address exactly as given: decoding it would change which resource a
    // signed or tokenised link names, and findDownload would no longer find it.
    ItemPtr item;
    if (!mediaManager()->createQueuedItem(url, request.title, url, item.receive()) || !item)
        return false;
    item->setTitle(request.title);
    item->setDescription(request.description);
    if (!item->commit())
        return false;

    enqueue(item.get());
    if (out)
        *out = item.detach();
    announceListChange();
    resumeAll();
    HubTopics::sendEmpty(HubTopics::ShowDownload);
    // After every lock of this operation is released: a scheduler pass that met one of them busy
    // would otherwise sleep a whole idle pass with the new item waiting.
    wake();
    return true;
}

bool Impl::recordStatus(QueuedFileInterface *item, DownloadStatusValue status)
{
    return changeStatus(item, status, StatusRoutes::Recorded, this);
}

bool Impl::hasPendingDownloads()
{
    std::lock_guard queue(m_queueLock);
    return QueueRules::firstEligible(m_downloadPlaylist.get()) != nullptr;
}

bool Impl::hasCompletedDownloads()
{
    std::lock_guard queue(m_queueLock);
    return QueueRules::find(m_downloadPlaylist.get(), [](QueuedFileInterface *item) { return item->status() == Completed; })
           != nullptr;
}

bool Impl::pauseAllLocked()
{
    if (m_paused.load())
        return false;
    m_paused = true;
    stopCurrent();
    std::lock_guard queue(m_queueLock);
    bool first = true;
    QueueRules::walk(m_downloadPlaylist.get(), [&](int64_t, QueuedFileInterface *item) {
        const DownloadStatusValue s = item->status();
        if (isActiveStatus(s)) {
            if (first && s == Waiting)
                m_worker->requestStop(item);
            first = false;
            changeStatus(item, Queued, StatusRoutes::Marked);
        }
        return true;
    });
    return true;
}

// The announcements go out before the state lock is released: the scheduler, waiting for that lock
// to record the run this pause stopped, then always announces after them.
void Impl::pauseAll()
{
    std::lock_guard state(m_stateLock);
    if (pauseAllLocked())
        announcePaused(true);
}

bool Impl::resumeAllLocked()
{
    if (!m_paused.load())
        return false;
    {
        std::lock_guard queue(m_queueLock);
        QueueRules::walk(m_downloadPlaylist.get(), [&](int64_t, QueuedFileInterface *item) {
            const DownloadStatusValue s = item->status();
            if (s == Active || s == Downloading)
                changeStatus(item, Queued, StatusRoutes::Stored);
            return true;
        });
    }
    m_paused = false;
    return true;
}

void Impl::resumeAll()
{
    bool resumed;
    {
        std::lock_guard state(m_stateLock);
        resumed = resumeAllLocked();
        if (resumed)
            announcePaused(false);
    }
    if (resumed)
        wake();
}

void Impl::stopCurrentDownload()
{
    std::lock_guard state(m_stateLock);
    stopCurrent();
}

void Impl::clearCompletedDownloads()
{
    std::lock_guard state(m_stateLock);
    std::vector<ItemPtr> completed;
    {
        // The worker moves finished items to the end without the state lock: walk under the queue
        // lock too, or an item moved mid-walk is seen twice (and removed twice) or not at all.
        std::lock_guard queue(m_queueLock);
        completed = QueueRules::completedForClearing(m_downloadPlaylist.get());
    }
    for (const ItemPtr &item : completed) {
        const QUrl source = item->sourceUrl();
        announceAndRemove(item.get());
        m_worker->discardPartial(source);
    }
    if (!completed.empty())
        announceListChange();
}

bool Impl::removeDownload(uint64_t id)
{
    if (!mediaManager())
        return false;
    std::lock_guard state(m_stateLock);
    ItemPtr item;
    if (!mediaManager()->getItem(id, item.receive()) || !item)
        return false;
    // A removed download must not go on transferring, nor be handed to the library when it ends.
    ItemPtr current;
    m_worker->getCurrentItem(current.receive());
    if (current && current->id() == id && isActiveStatus(current->status()))
        stopCurrent();
    const QUrl source = item->sourceUrl();
    announceAndRemove(item.get());
    // What the engine kept for resuming it goes too: nothing can reach it any more.
    m_worker->discardPartial(source);
    announceListChange();
    return true;
}

void Impl::retryDownload(uint64_t id)
{
    if (!mediaManager())
        return;
    std::unique_lock gate(m_schedulerGate);
    {
        std::lock_guard state(m_stateLock);
        ItemPtr item;
        if (!mediaManager()->getItem(id, item.receive()) || !item || !isRetryableStatus(item->status()))
            return;
        changeStatus(item.get(), Queued, StatusRoutes::Stored);
    }
    // The gate stays held: nothing starts until the retried item is at the head.
    pauseAll();
    moveToPosition(id, 0);
    resumeAll();
    gate.unlock();
    wake();  // the pass that resumeAll woke found the gate still held
}

// The worker asks from the scheduler thread while its run is open; an operation stopping that run
// may hold the state lock and wait for the run to end. The worker asks again on its next pass, so
// there it only tries.
bool Impl::lockState(std::unique_lock<std::mutex> &state)
{
    if (onSchedulerThread())
        return state.try_lock();
    state.lock();
    return true;
}

bool Impl::isNextInLine(uint64_t id)
{
    std::lock_guard queue(m_queueLock);
    const ItemPtr next = QueueRules::firstEligible(m_downloadPlaylist.get());
    return next && next->id() == id;
}

bool Impl::playDownload(uint64_t id)
{
    if (!mediaManager())
        return false;
    ItemPtr item;
    if (!mediaManager()->getItem(id, item.receive()) || !item)
        return false;

    const bool onScheduler = onSchedulerThread();
    DownloadStatusValue s;
    int32_t p;
    {
        std::unique_lock state(m_stateLock, std::defer_lock);
        if (!lockState(state))
            return false;
        s = item->status();
        p = item->progress();
    }

    if (s != Completed && s != Downloading && s != Waiting) {
        if (onScheduler)
            return false;  // cannot requeue the item whose run this thread is carrying
        pauseAll();
        changeStatus(item.get(), Queued, StatusRoutes::Stored);
        if (p < PlayThresholdPercent)
            item->setPlayWhenReady(true);
        moveDownload(id, 0);
        s = Queued;
    }
    if (isPaused())
        resumeAll();
    if (p < PlayThresholdPercent && item->status() != Completed)
        return false;

    VSE::PluginInterfaceHandle services(VSE::InterfaceNames::playbackServices());
    if (services.acquire(m_context) != VSE::PluginOk)
        return false;

    // Wait for the scheduler to start the item, but only while it is next in line and something
    // can start it: a pause, a stopped scheduler or another item taking its place means it will not
    // start soon, and the caller is told at once instead of after the time-out.
    const auto deadline = std::chrono::steady_clock::now() + kPlayStartTimeout;
    std::unique_lock state(m_stateLock, std::defer_lock);
    if (!lockState(state))
        return false;
    while (item->status() == Queued || item->status() == Active) {
        if (onScheduler || !isRunning() || isPaused() || !isNextInLine(id)
            || std::chrono::steady_clock::now() >= deadline)
            return false;
        state.unlock();
        processEventsIfMainThread();
        std::this_thread::sleep_for(kPlayStartPoll);
        state.lock();
    }
    const QUrl address = s == Completed ? item->fileUrl() : item->sourceUrl();
    services.as<PlaybackServicesInterface>()->playUrl(address, 0);
    return true;
}

bool Impl::moveDownload(uint64_t id, int64_t position)
{
    if (!m_downloadPlaylist)
        return false;
    std::unique_lock gate(m_schedulerGate);
    std::unique_lock state(m_stateLock);
    ItemPtr head;
    {
        std::lock_guard queue(m_queueLock);
        m_downloadPlaylist->itemAt(0, head.receive());
    }
    const bool headIsItem = head && head->id() == id;
    bool pausedHere = false;
    if (position == 0 || headIsItem) {
        if (!m_paused.load()) {
            m_paused = true;
            pausedHere = true;
            stopCurrent();
        }
        if (headIsItem && head->status() != Completed) {
            const bool startable = head->isStartable() || head->isRestartable();
            changeStatus(head.get(), startable ? Queued : Failed, StatusRoutes::Stored);
        }
    }
    const bool moved = moveToPosition(id, position);
    if (moved)
        announceListChange();
    if (pausedHere)
        m_paused = false;
    state.unlock();
    gate.unlock();
    wake();
    return moved;
}

} // namespace Lumora
