#include "worker/HttpDownloadThread.h"

namespace Lumora {

HttpDownloadThread::HttpDownloadThread(VSE::PluginContext *context) : m_context(context) {}

HttpDownloadThread::~HttpDownloadThread()
{
    stopAndWait();
}

bool HttpDownloadThread::getCurrentItem(QueuedFileInterface **out)
{
    if (out) {
        std::lock_guard lock(m_itemMutex);
        *out = m_currentItem.get();
        if (*out)
            (*out)->retain();
    }
    return true;
}

// The transfer itself arrives with the worker; until then every run fails.
DownloadStatusValue HttpDownloadThread::download(QueuedFileInterface *item)
{
    if (!item) {
        m_jobStatus = Invalid;
        return Invalid;
    }
    {
        std::lock_guard lock(m_itemMutex);
        m_currentItem.reset(item);
    }
    m_jobStatus = Failed;
    return Failed;
}

void HttpDownloadThread::stopAndWait()
{
    m_jobStatus = Queued;
}

void HttpDownloadThread::setManager(DownloadManagerInterface *manager, DownloadListener *listener)
{
    m_manager = manager;
    m_listener = listener;
}

void HttpDownloadThread::requestStop(QueuedFileInterface *)
{
    m_jobStatus = Queued;
}

} // namespace Lumora
