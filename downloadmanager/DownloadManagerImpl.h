#pragma once
// The download manager's state: the media library it works on, the queue (the library's download
// playlist), the paused flag and the locks.

#include "downloadmanager/DownloadManager.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/PluginInterfaceHandle.h"

#include <memory>

namespace Lumora {

class DownloadManager::DownloadManagerImpl {
public:
    DownloadManagerImpl(DownloadManager *owner, VSE::PluginContext *context);
    virtual ~DownloadManagerImpl();

    MediaManagerInterface::MediaManager *mediaManager() const
    {
        return m_mediaManagerHandle ? m_mediaManagerHandle->as<MediaManagerInterface::MediaManager>() : nullptr;
    }

    std::unique_ptr<VSE::PluginInterfaceHandle> m_mediaManagerHandle;
    lmtl::RefCountedPtr<MediaManagerInterface::PlaylistInterface> m_downloadPlaylist;
    DownloadManager *m_owner;
    DownloadListener *m_listener = nullptr;
    VSE::PluginContext *m_context;
};

} // namespace Lumora
