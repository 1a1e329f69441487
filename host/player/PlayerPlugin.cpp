#include "host/player/PlayerPlugin.h"

#include "host/player/PlayerCommand.h"
#include "plugin/InterfaceNames.h"

namespace Lumora::Host {

PlayerPlugin::PlayerPlugin(VSE::PluginContext *context, Callbacks callbacks)
    : VSE::Plugin(context), m_callbacks(std::move(callbacks))
{
}

int32_t PlayerPlugin::getInterface(const VSE::AllocatedString<char> &name, void **out)
{
    if (!out)
        return VSE::PluginNotAvailable;
    *out = nullptr;
    if (name == VSE::InterfaceNames::playbackServices())
        *out = static_cast<PlaybackServicesInterface *>(this);
    else if (name == VSE::InterfaceNames::player())
        *out = static_cast<PlayerInterface *>(this);
    else
        return VSE::PluginNotAvailable;
    return VSE::PluginOk;
}

bool PlayerPlugin::playUrl(const QUrl &url, int32_t)
{
    QString error;
    const bool started = startPlayer(url, &error);
    if (m_callbacks.played)
        m_callbacks.played(url, started, error);
    return started;
}

void PlayerPlugin::onDownloadCompleted()
{
    if (m_callbacks.downloadCompleted)
        m_callbacks.downloadCompleted();
}

} // namespace Lumora::Host
