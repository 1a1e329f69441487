#include "downloadmanager/DownloadManager.h"

#include "downloadmanager/DownloadManagerImpl.h"
#include "downloadmanager/ManagerSettings.h"
#include "plugin/InterfaceNames.h"

namespace Lumora {

DownloadManager::DownloadManager(VSE::PluginContext *context)
    : VSE::Plugin(context), m_impl(std::make_unique<DownloadManagerImpl>(this, context))
{
    auto handle = std::make_unique<VSE::PluginInterfaceHandle>(VSE::InterfaceNames::mediaManager());
    if (handle->acquire(context) != VSE::PluginOk)
        return;  // no media library: the plugin exists, but no download ever starts
    if (!m_impl->attachMediaLibrary(std::move(handle)))
        return;
    m_impl->setListener(nullptr, this);
    m_impl->finishInterruptedRuns();
    m_impl->start();
    retain();
    m_holdsSelfReference = true;
}

DownloadManager::~DownloadManager()
{
    stopAndDeleteImpl();
    ManagerSettings::release();
}

// The running download is stopped through pauseAll before the scheduler thread is stopped, and the
// thread is stopped before the implementation goes.
void DownloadManager::stopAndDeleteImpl()
{
    if (m_impl)
        m_impl->setListener(nullptr, this);
    m_listener = nullptr;
    if (!m_impl)
        return;
    pauseAll();
    m_impl->stop();
    m_impl.reset();
}

void DownloadManager::shutdown()
{
    stopAndDeleteImpl();
    if (m_holdsSelfReference) {
        m_holdsSelfReference = false;
        release();
    }
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

} // namespace Lumora
