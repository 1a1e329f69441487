#include "downloadmanager/DownloadManager.h"

#include "downloadmanager/DownloadManagerImpl.h"
#include "plugin/InterfaceNames.h"

namespace Lumora {

DownloadManager::DownloadManagerImpl::DownloadManagerImpl(DownloadManager *owner, VSE::PluginContext *context)
    : m_owner(owner), m_context(context)
{
}

DownloadManager::DownloadManagerImpl::~DownloadManagerImpl() = default;

DownloadManager::DownloadManager(VSE::PluginContext *context)
    : VSE::Plugin(context), m_impl(std::make_unique<DownloadManagerImpl>(this, context))
{
    auto handle = std::make_unique<VSE::PluginInterfaceHandle>(VSE::InterfaceNames::mediaManager());
    if (handle->acquire(context) != VSE::PluginOk)
        return;  // no media library: the plugin exists, but no download ever starts
    m_impl->m_mediaManagerHandle = std::move(handle);
    if (!m_impl->mediaManager()->getPlaylist(MediaManagerInterface::DownloadPlaylistKind, 0, 0,
                                             m_impl->m_downloadPlaylist.receive()))
        return;
    retain();
    m_holdsSelfReference = true;
}

DownloadManager::~DownloadManager()
{
    m_listener = nullptr;
    stopAndDeleteImpl();
}

void DownloadManager::stopAndDeleteImpl()
{
    if (!m_impl)
        return;
    m_impl->m_listener = nullptr;
    m_impl.reset();
}

int32_t DownloadManager::getInterface(const VSE::AllocatedString<char> &name, void **out)
{
    if (!out)
        return VSE::PluginNotAvailable;
    *out = nullptr;
    if (name == VSE::InterfaceNames::downloadManager())
        *out = static_cast<DownloadManagerInterface *>(this);
    else if (name == VSE::InterfaceNames::shutdown())
        *out = static_cast<ShutdownInterface *>(this);
    else if (name == VSE::InterfaceNames::uriReceiver())
        *out = static_cast<URIReceiver *>(this);
    else
        return VSE::PluginNotAvailable;
    return VSE::PluginOk;
}

void DownloadManager::shutdown()
{
    m_listener = nullptr;
    stopAndDeleteImpl();
    if (m_holdsSelfReference) {
        m_holdsSelfReference = false;
        release();
    }
}

// The operations below arrive with the download manager proper.
void DownloadManager::setDownloadListener(DownloadListener *listener) { m_listener = listener; }
bool DownloadManager::findDownload(const QUrl &, QueuedFileInterface **) { return false; }
bool DownloadManager::addDownload(QueuedFileInterface **, const QUrl &, const QString &, const QString &) { return false; }
bool DownloadManager::setDownloadStatus(QueuedFileInterface *, DownloadStatusValue) { return false; }
bool DownloadManager::setDownloadFile(QueuedFileInterface *, const QUrl &) { return false; }
bool DownloadManager::setDownloadSize(QueuedFileInterface *, uint64_t) { return false; }
bool DownloadManager::setDownloadProgress(QueuedFileInterface *, int32_t) { return false; }
bool DownloadManager::setDownloadCounter(QueuedFileInterface *, int32_t) { return false; }
bool DownloadManager::setDownloadOption(QueuedFileInterface *, int32_t) { return false; }
bool DownloadManager::setDownloadInfo(QueuedFileInterface *, DownloadInfo) { return false; }
bool DownloadManager::setDownloadFlag(QueuedFileInterface *, int32_t) { return false; }
bool DownloadManager::setDownloadPair(QueuedFileInterface *, int32_t, int32_t) { return false; }
bool DownloadManager::isPaused() { return false; }
bool DownloadManager::hasPendingDownloads() { return false; }
bool DownloadManager::hasCompletedDownloads() { return false; }
void DownloadManager::pauseAll() {}
void DownloadManager::resumeAll() {}
void DownloadManager::stopCurrentDownload() {}
void DownloadManager::clearCompletedDownloads() {}
bool DownloadManager::removeDownload(uint64_t) { return false; }
void DownloadManager::retryDownload(uint64_t) {}
bool DownloadManager::playDownload(uint64_t) { return false; }
bool DownloadManager::moveDownload(uint64_t, int64_t) { return false; }
void DownloadManager::setDownloadPlaylist(PlaylistInterface *) {}
QStringList DownloadManager::supportedSchemes() { return {}; }
QStringList DownloadManager::supportedMimeTypes(const QString &) { return {}; }
void DownloadManager::receiveURI(const QUrl &) {}

} // namespace Lumora
