#include "downloadmanager/DownloadManagerImpl.h"

#include "downloadmanager/ManagerSettings.h"
#include "plugin/QueueRules.h"
#include "plugin/Topics.h"
#include "worker/HttpDownloadThread.h"

#include <chrono>

namespace Lumora {

using Impl = DownloadManager::DownloadManagerImpl;

namespace {

constexpr auto kIdlePass = std::chrono::milliseconds(500);
std::atomic<std::chrono::milliseconds::rep> idlePassMs{kIdlePass.count()};
constexpr auto kStopStep = std::chrono::milliseconds(100);

std::mutex factoryMutex;
Impl::WorkerFactory &workerFactory()
{
    static Impl::WorkerFactory factory;
    return factory;
}
std::atomic<bool> schedulerEnabled{true};

std::unique_ptr<DownloadThreadInterface> makeWorker(VSE::PluginContext *context)
{
    Impl::WorkerFactory factory;
    {
        std::lock_guard lock(factoryMutex);
        factory = workerFactory();
    }
    if (factory)
        return factory(context);
    return std::make_unique<HttpDownloadThread>(context);
}

} // namespace

void Impl::setWorkerFactory(WorkerFactory factory)
{
    std::lock_guard lock(factoryMutex);
    workerFactory() = std::move(factory);
}

void Impl::setIdlePass(std::chrono::milliseconds pass)
{
    idlePassMs = pass.count();
}

void Impl::setSchedulerEnabled(bool enabled)
{
    schedulerEnabled = enabled;
}

Impl::DownloadManagerImpl(DownloadManager *owner, VSE::PluginContext *context)
    : m_worker(makeWorker(context)), m_owner(owner), m_context(context)
{
    m_paused = !ManagerSettings::resumeDownloadsOnStartup();
}

Impl::~DownloadManagerImpl()
{
    stop();
    {
        std::lock_guard lock(m_threadMutex);
        if (m_schedulerThread.joinable()) {
            // Only when the last reference went on the scheduler thread itself: the loop has been
            // told to end and must not be joined from inside.
            if (m_schedulerThread.get_id() == std::this_thread::get_id())
                m_schedulerThread.detach();
            else
                m_schedulerThread.join();
        }
    }
    m_worker.reset();
    m_downloadPlaylist = nullptr;
}

MediaManagerInterface::MediaManager *Impl::mediaManager() const
{
    return m_mediaManagerHandle ? m_mediaManagerHandle->as<MediaManagerInterface::MediaManager>() : nullptr;
}

bool Impl::attachMediaLibrary(std::unique_ptr<VSE::PluginInterfaceHandle> mediaManager)
{
    m_mediaManagerHandle = std::move(mediaManager);
    MediaManagerInterface::MediaManager *library = this->mediaManager();
    return library && library->getPlaylist(MediaManagerInterface::DownloadPlaylistKind, 0, 0,
                                           m_downloadPlaylist.receive());
}

void Impl::finishInterruptedRuns()
{
    std::vector<ItemPtr> unfinished;
    std::vector<QUrl> sources;
    {
        std::lock_guard queue(m_queueLock);
        QueueRules::walk(m_downloadPlaylist.get(), [&](int64_t, QueuedFileInterface *item) {
            if (!item->pendingFinish().isEmpty())
                unfinished.emplace_back(item);
            sources.push_back(item->sourceUrl());
            return true;
        });
    }
    for (const ItemPtr &item : unfinished)
        m_worker->finishInterrupted(item.get());
    m_worker->cleanStrayParts(sources);
}

void Impl::setListener(DownloadListener *listener, DownloadManagerInterface *manager)
{
    m_listener = listener;
    m_worker->setManager(manager, listener);
}

bool Impl::onSchedulerThread() const
{
    return m_schedulerThreadId.load() == std::this_thread::get_id();
}

void Impl::start()
{
    if (!schedulerEnabled || !m_downloadPlaylist)
        return;
    // Claim the running flag before the thread exists, so two starts at once create one thread.
    if (m_running.exchange(true))
        return;
    std::lock_guard lock(m_threadMutex);
    m_stopRequested = false;
    if (m_schedulerThread.joinable())
        m_schedulerThread.join();  // a loop that already ended
    m_schedulerThread = std::thread([this] { schedulerLoop(); });
}

void Impl::stop()
{
    m_stopRequested = true;  // start() clears it again
    wake();
    // Called from inside the loop (a subscriber reacting to a notification, say): the loop ends
    // after this pass; nobody can join the thread from itself.
    if (onSchedulerThread())
        return;
    std::lock_guard lock(m_threadMutex);
    if (m_schedulerThread.joinable())
        m_schedulerThread.join();
    while (m_running.load())
        std::this_thread::sleep_for(kStopStep);
}

void Impl::schedulerLoop()
{
    m_schedulerThreadId = std::this_thread::get_id();
    m_running = true;
    bool sleepFirst = false;
    while (!m_stopRequested.load()) {
        if (sleepFirst) {
            idlePause();
            if (m_stopRequested.load())
                break;
        }
        sleepFirst = !runNextItem();
        if (sleepFirst)
            ++m_idlePasses;
    }
    m_schedulerThreadId = std::thread::id();
    m_running = false;
}

// The idle pass: half a second, unless a stop or new work comes first. A download queued on an idle
// manager starts at once instead of at the next poll.
void Impl::idlePause()
{
    std::unique_lock lock(m_wakeMutex);
    m_wakeCondition.wait_for(lock, std::chrono::milliseconds(idlePassMs.load()), [this] { return m_wakeRequested || m_stopRequested.load(); });
    m_wakeRequested = false;
}

void Impl::wake()
{
    {
        std::lock_guard lock(m_wakeMutex);
        m_wakeRequested = true;
    }
    m_wakeCondition.notify_all();
}

// One pass: true when a download ran, so that the next pass starts at once.
bool Impl::runNextItem()
{
    if (m_paused.load())
        return false;
    std::unique_lock gate(m_schedulerGate, std::try_to_lock);
    if (!gate.owns_lock())
        return false;
    std::unique_lock state(m_stateLock, std::try_to_lock);
    if (!state.owns_lock())
        return false;

    ItemPtr next;
    {
        std::lock_guard queue(m_queueLock);
        next = QueueRules::firstEligible(m_downloadPlaylist.get());
    }
    if (!next || next->status() == Waiting)
        return false;  // a Waiting head holds back everything behind it

    moveToPosition(next->id(), 0);
    announceListChange();
    ItemPtr following;
    {
        std::lock_guard queue(m_queueLock);
        following = QueueRules::eligibleAfter(m_downloadPlaylist.get(), next->id());
    }
    state.unlock();
    gate.unlock();

    m_worker->expectNext(following ? following->sourceUrl() : QUrl());
    DownloadStatusValue result = m_worker->download(next.get());

    state.lock();
    if (result == Interrupted)
        result = Queued;
    // An item removed while it ran has nothing left to record.
    ItemPtr stillThere;
    bool recorded = true;
    if (!mediaManager() || mediaManager()->getItem(next->id(), stillThere.receive()))
        recorded = recordStatus(next.get(), result);
    state.unlock();
    // An item that refuses its result stays eligible and would be chosen again at once: pause
    // first, so that a broken item cannot keep the scheduler busy without end.
    return recorded;
}

void Impl::announceItemChange(QueuedFileInterface *item)
{
    HubTopics::sendId(HubTopics::MediaItemChanged, item->id());
}

void Impl::announceAndRemove(QueuedFileInterface *item)
{
    HubTopics::sendId(HubTopics::MediaItemRemoved, item->id());
    item->remove();
}

void Impl::announceListChange()
{
    if (m_downloadPlaylist)
        HubTopics::sendId(HubTopics::MediaListChanged, m_downloadPlaylist->id());
}

void Impl::announcePaused(bool paused)
{
    announceListChange();
    HubTopics::sendFlag(HubTopics::DownloadStatusPaused, paused);
}

bool Impl::moveToPosition(uint64_t id, int64_t position)
{
    if (!m_downloadPlaylist)
        return false;
    std::lock_guard queue(m_queueLock);
    return m_downloadPlaylist->moveItem(QueueRules::resolvePosition(m_downloadPlaylist.get(), position), id);
}

void Impl::moveToEnd(QueuedFileInterface *item)
{
    moveToPosition(item->id(), -1);
    announceListChange();
}

void Impl::stopCurrent()
{
    ItemPtr current;
    m_worker->getCurrentItem(current.receive());
    if (current && isActiveStatus(current->status()))
        m_worker->requestStop(current.get());
    if (m_running.load())
        m_worker->stopAndWait();
}

void Impl::enqueue(QueuedFileInterface *item)
{
    {
        std::lock_guard queue(m_queueLock);
        if (!m_downloadPlaylist || !item->commit())
            return;
        const std::optional<int64_t> position = QueueRules::insertionPoint(m_downloadPlaylist.get(), item->id());
        if (!position)
            return;
        m_downloadPlaylist->insertItem(*position, item);
    }
    hintIfNext(item);
    start();
}

// A download that started before this item was queued learns that the item comes next, so that the
// worker can ask its size while the running one transfers. Between runs the hint is harmless: the
// scheduler tells the worker again before each download.
void Impl::hintIfNext(QueuedFileInterface *added)
{
    ItemPtr current;
    m_worker->getCurrentItem(current.receive());
    if (!current)
        return;
    ItemPtr following;
    {
        std::lock_guard queue(m_queueLock);
        following = QueueRules::eligibleAfter(m_downloadPlaylist.get(), current->id());
    }
    if (following && following->id() == added->id())
        m_worker->expectNext(added->sourceUrl());
}

} // namespace Lumora
