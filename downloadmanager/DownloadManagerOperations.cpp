// The operations of DownloadManagerInterface. Those that use the queue or the manager's locks live
// beside them, in DownloadManagerImpl (QueueOperations.cpp); the item setters here change one item
// and rely on the library's own safety. Every operation tolerates a plugin constructed without a
// media library or download playlist: it answers its failure value and touches nothing.

#include "downloadmanager/DownloadManager.h"

#include "downloadmanager/DownloadManagerImpl.h"
#include "downloadmanager/ProgressEstimator.h"

#include <algorithm>

namespace Lumora {

void DownloadManager::setDownloadListener(DownloadListener *listener)
{
    m_listener = listener;
    if (m_impl)
        m_impl->setListener(listener, this);
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
    return m_impl && m_impl->addDownload(out, url, title, description);
}

bool DownloadManager::setDownloadStatus(QueuedFileInterface *item, DownloadStatusValue status)
{
    return item && m_impl && m_impl->recordStatus(item, status);
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
    return m_impl && m_impl->isPaused();
}

bool DownloadManager::hasPendingDownloads()
{
    return m_impl && m_impl->hasPendingDownloads();
}

bool DownloadManager::hasCompletedDownloads()
{
    return m_impl && m_impl->hasCompletedDownloads();
}

void DownloadManager::pauseAll()
{
    if (m_impl)
        m_impl->pauseAll();
}

void DownloadManager::resumeAll()
{
    if (m_impl)
        m_impl->resumeAll();
}

void DownloadManager::stopCurrentDownload()
{
    if (m_impl)
        m_impl->stopCurrentDownload();
}

void DownloadManager::clearCompletedDownloads()
{
    if (m_impl)
        m_impl->clearCompletedDownloads();
}

bool DownloadManager::removeDownload(uint64_t id)
{
    return m_impl && m_impl->removeDownload(id);
}

void DownloadManager::retryDownload(uint64_t id)
{
    if (m_impl)
        m_impl->retryDownload(id);
}

bool DownloadManager::playDownload(uint64_t id)
{
    return m_impl && m_impl->playDownload(id);
}

bool DownloadManager::moveDownload(uint64_t id, int64_t position)
{
    return m_impl && m_impl->moveDownload(id, position);
}

void DownloadManager::setDownloadPlaylist(PlaylistInterface *playlist)
{
    if (m_impl)
        m_impl->setDownloadPlaylist(playlist);
}

} // namespace Lumora
