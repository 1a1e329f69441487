// The operations of DownloadManagerInterface. Every one of them tolerates a plugin constructed
// without a media library or download playlist: it answers its failure value and touches nothing.

#include "downloadmanager/DownloadManager.h"

#include "downloadmanager/DownloadManagerImpl.h"
#include "downloadmanager/DownloadRequest.h"
#include "downloadmanager/Notifications.h"
#include "downloadmanager/ProgressEstimator.h"
#include "plugin/InterfaceNames.h"
#include "plugin/PlayerInterfaces.h"

#include <QCoreApplication>
#include <QThread>

#include <chrono>

namespace Lumora {

namespace {

using ItemPtr = DownloadManager::DownloadManagerImpl::ItemPtr;

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

void DownloadManager::setDownloadListener(DownloadListener *listener)
{
    m_listener = listener;
    if (!m_impl)
        return;
    m_impl->m_listener = listener;
    m_impl->m_worker->setManager(this, listener);
}

bool DownloadManager::findDownload(const QUrl &url, QueuedFileInterface **out)
{
    if (!m_impl || !m_impl->playlist())
        return false;
    QUrl plain = url;
    plain.setUserName(QString());
    plain.setPassword(QString());
    return m_impl->playlist()->findByUrl(plain, out);
}

bool DownloadManager::addDownload(QueuedFileInterface **out, const QUrl &url, const QString &title,
                                  const QString &description)
{
    if (!m_impl || !m_impl->mediaManager() || !m_impl->playlist())
        return false;
    const DownloadRequest request = DownloadRequest::make(url, title, description);
    if (!request.accepted)
        return false;

    // The item keeps the address exactly as given: decoding it would change which resource a
    // signed or tokenised link names, and findDownload would no longer find it.
    ItemPtr item;
    if (!m_impl->mediaManager()->createQueuedItem(url, request.title, url, item.receive()) || !item)
        return false;
    item->setTitle(request.title);
    item->setDescription(request.description);
    if (!item->commit())
        return false;

    m_impl->enqueue(item.get());
    if (out)
        *out = item.detach();
    m_impl->announceListChange();
    resumeAll();
    Topics::sendEmpty(Topics::ShowDownload);
    return true;
}

bool DownloadManager::setDownloadStatus(QueuedFileInterface *item, DownloadStatusValue status)
{
    if (!item || !m_impl)
        return false;
    if (!item->setStatus(status) || !item->commit())
        return false;
    m_impl->announceItemChange(item);
    Topics::sendId(Topics::DownloadStatusChanged, item->id());
    if (isFinishedStatus(status)) {
        m_impl->moveToPosition(item->id(), -1);
        m_impl->announceListChange();
    }
    return true;
}

bool DownloadManager::setDownloadFile(QueuedFileInterface *item, const QUrl &fileUrl)
{
    if (!item || !m_impl || !item->setFileUrl(fileUrl) || !item->commit())
        return false;
    m_impl->announceItemChange(item);
    return true;
}

bool DownloadManager::setDownloadSize(QueuedFileInterface *item, uint64_t bytes)
{
    if (!item || !m_impl || !item->setSize(bytes) || !item->commit())
        return false;
    m_impl->announceItemChange(item);
    return true;
}

bool DownloadManager::setDownloadProgress(QueuedFileInterface *item, int32_t percent)
{
    if (!item || !m_impl)
        return false;
    percent = std::clamp(percent, 0, 100);
    const auto update = ProgressEstimator::report(percent, item->progress(), item->lastProgressTime(),
                                                  ProgressEstimator::nowMilliseconds());
    if (update) {
        item->setTimeRemaining(update->timeRemaining);
        item->setLastProgressTime(update->progressTime);
    }
    if (!item->setProgress(percent) || !item->commit())
        return false;
    m_impl->announceItemChange(item);
    return true;
}

bool DownloadManager::setDownloadCounter(QueuedFileInterface *item, int32_t counter)
{
    if (!item || !m_impl || !item->setCounter(static_cast<int64_t>(counter)))
        return false;
    m_impl->announceItemChange(item);
    return true;
}

bool DownloadManager::setDownloadOption(QueuedFileInterface *item, int32_t option)
{
    if (!item)
        return false;
    const bool set = item->setOption(option);
    const bool committed = item->commit();
    return set && committed;
}

bool DownloadManager::setDownloadInfo(QueuedFileInterface *item, DownloadInfo info)
{
    return item && item->setDownloadInfo(info);
}

bool DownloadManager::setDownloadFlag(QueuedFileInterface *item, int32_t flag)
{
    if (!item || !m_impl || !item->setFlag(flag))
        return false;
    m_impl->announceItemChange(item);
    return true;
}

bool DownloadManager::setDownloadPair(QueuedFileInterface *item, int32_t first, int32_t second)
{
    return item && item->setPair(first, second);
}

bool DownloadManager::isPaused()
{
    return m_impl && m_impl->m_paused.load();
}

bool DownloadManager::hasPendingDownloads()
{
    if (!m_impl)
        return false;
    bool found = false;
    std::lock_guard queue(m_impl->m_queueLock);
    m_impl->walk([&](int64_t, QueuedFileInterface *item) { return !(found = isEligibleStatus(item->status())); });
    return found;
}

bool DownloadManager::hasCompletedDownloads()
{
    if (!m_impl)
        return false;
    bool found = false;
    std::lock_guard queue(m_impl->m_queueLock);
    m_impl->walk([&](int64_t, QueuedFileInterface *item) { return !(found = item->status() == Completed); });
    return found;
}

void DownloadManager::pauseAll()
{
    if (!m_impl)
        return;
    {
        std::lock_guard state(m_impl->m_stateLock);
        if (m_impl->m_paused.load())
            return;
        m_impl->m_paused = true;
        m_impl->stopCurrent();
        std::lock_guard queue(m_impl->m_queueLock);
        bool first = true;
        m_impl->walk([&](int64_t, QueuedFileInterface *item) {
            const DownloadStatusValue s = item->status();
            if (isActiveStatus(s)) {
                if (first && s == Waiting)
                    m_impl->m_worker->requestStop(item);
                first = false;
                item->setStatus(Queued);
            }
            return true;
        });
    }
    m_impl->announceListChange();
    Topics::sendFlag(Topics::DownloadStatusPaused, true);
}

void DownloadManager::resumeAll()
{
    if (!m_impl)
        return;
    {
        std::lock_guard state(m_impl->m_stateLock);
        if (!m_impl->m_paused.load())
            return;
        std::lock_guard queue(m_impl->m_queueLock);
        m_impl->walk([&](int64_t, QueuedFileInterface *item) {
            const DownloadStatusValue s = item->status();
            if (s == Active || s == Downloading) {
                item->setStatus(Queued);
                item->commit();
            }
            return true;
        });
        m_impl->m_paused = false;
    }
    m_impl->wake();
    m_impl->announceListChange();
    Topics::sendFlag(Topics::DownloadStatusPaused, false);
}

void DownloadManager::stopCurrentDownload()
{
    if (!m_impl)
        return;
    std::lock_guard state(m_impl->m_stateLock);
    m_impl->stopCurrent();
}

void DownloadManager::clearCompletedDownloads()
{
    if (!m_impl)
        return;
    std::lock_guard state(m_impl->m_stateLock);
    std::vector<ItemPtr> completed;
    {
        // The worker moves finished items to the end without the state lock: walk under the queue
        // lock too, or an item moved mid-walk is seen twice (and removed twice) or not at all.
        std::lock_guard queue(m_impl->m_queueLock);
        m_impl->walk([&](int64_t, QueuedFileInterface *item) {
            if (item->status() == Completed)
                completed.emplace_back(item);
            return true;
        });
    }
    for (auto it = completed.rbegin(); it != completed.rend(); ++it)
        m_impl->announceAndRemove(it->get());
    if (!completed.empty())
        m_impl->announceListChange();
}

bool DownloadManager::removeDownload(uint64_t id)
{
    if (!m_impl || !m_impl->mediaManager())
        return false;
    std::lock_guard state(m_impl->m_stateLock);
    ItemPtr item;
    if (!m_impl->mediaManager()->getItem(id, item.receive()) || !item)
        return false;
    // A removed download must not go on transferring, nor be handed to the library when it ends.
    ItemPtr current;
    m_impl->m_worker->getCurrentItem(current.receive());
    if (current && current->id() == id && isActiveStatus(current->status()))
        m_impl->stopCurrent();
    m_impl->announceAndRemove(item.get());
    m_impl->announceListChange();
    return true;
}

void DownloadManager::retryDownload(uint64_t id)
{
    if (!m_impl || !m_impl->mediaManager())
        return;
    std::unique_lock gate(m_impl->m_schedulerGate);
    ItemPtr item;
    {
        std::lock_guard state(m_impl->m_stateLock);
        if (!m_impl->mediaManager()->getItem(id, item.receive()) || !item)
            return;
        const DownloadStatusValue s = item->status();
        if (s != Failed && s != Invalid)
            return;
        item->setStatus(Queued);
        item->commit();
    }
    // The gate stays held: nothing starts until the retried item is at the head.
    pauseAll();
    m_impl->moveToPosition(id, 0);
    resumeAll();
    gate.unlock();
    m_impl->wake();  // the pass that resumeAll woke found the gate still held
}

bool DownloadManager::playDownload(uint64_t id)
{
    if (!m_impl || !m_impl->mediaManager())
        return false;
    ItemPtr item;
    if (!m_impl->mediaManager()->getItem(id, item.receive()) || !item)
        return false;

    const bool onScheduler = m_impl->onSchedulerThread();
    DownloadStatusValue s;
    int32_t p;
    {
        // The worker asks from the scheduler thread while its run is open; an operation stopping
        // that run may hold the state lock and wait for the run to end. The worker asks again on
        // its next pass, so it never waits here.
        std::unique_lock state(m_impl->m_stateLock, std::defer_lock);
        if (onScheduler) {
            if (!state.try_lock())
                return false;
        } else {
            state.lock();
        }
        s = item->status();
        p = item->progress();
    }

    if (s != Completed && s != Downloading && s != Waiting) {
        if (onScheduler)
            return false;  // cannot requeue the item whose run this thread is carrying
        pauseAll();
        item->setStatus(Queued);
        item->commit();
        if (p < 5)
            item->setPlayWhenReady(true);
        moveDownload(id, 0);
        s = Queued;
    }
    if (isPaused())
        resumeAll();
    if (p < 5 && item->status() != Completed)
        return false;

    VSE::PluginInterfaceHandle services(VSE::InterfaceNames::playbackServices());
    if (services.acquire(getContext()) != VSE::PluginOk)
        return false;

    // Wait for the scheduler to start the item, but not without end: it may never come (the
    // scheduler is stopped, or the item refuses to start).
    const auto deadline = std::chrono::steady_clock::now() + kPlayStartTimeout;
    std::unique_lock state(m_impl->m_stateLock, std::defer_lock);
    if (onScheduler) {
        if (!state.try_lock())
            return false;
    } else {
        state.lock();
    }
    while (item->status() == Queued || item->status() == Active) {
        if (onScheduler || !m_impl->isRunning() || std::chrono::steady_clock::now() >= deadline)
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

bool DownloadManager::moveDownload(uint64_t id, int64_t position)
{
    if (!m_impl || !m_impl->playlist())
        return false;
    std::unique_lock gate(m_impl->m_schedulerGate);
    std::unique_lock state(m_impl->m_stateLock);
    ItemPtr head;
    {
        std::lock_guard queue(m_impl->m_queueLock);
        m_impl->playlist()->itemAt(0, head.receive());
    }
    const bool headIsItem = head && head->id() == id;
    bool pausedHere = false;
    if (position == 0 || headIsItem) {
        if (!m_impl->m_paused.load()) {
            m_impl->m_paused = true;
            pausedHere = true;
            m_impl->stopCurrent();
        }
        if (headIsItem && head->status() != Completed) {
            const bool startable = head->isStartable() || head->isRestartable();
            head->setStatus(startable ? Queued : Failed);
            head->commit();
        }
    }
    const bool moved = m_impl->moveToPosition(id, position);
    if (moved)
        m_impl->announceListChange();
    if (pausedHere)
        m_impl->m_paused = false;
    state.unlock();
    gate.unlock();
    m_impl->wake();
    return moved;
}

void DownloadManager::setDownloadPlaylist(PlaylistInterface *playlist)
{
    if (m_impl)
        m_impl->m_downloadPlaylist.reset(playlist);
}

} // namespace Lumora
