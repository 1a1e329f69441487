#pragma once
// The player's own services, as the plugins reach them: playback ("PlaybackServices") and the
// completion hook ("Player"). They live in the lumora process and are registered with the plugin
// context as an instantiated plugin, so that the download manager finds them like any other.
//
// Both are called on plugin threads (the scheduler's, the operations thread); what they report goes
// to the callbacks, which must not call back into the download manager.

#include "plugin/Plugin.h"
#include "plugin/PlayerInterfaces.h"

#include <QString>
#include <QUrl>

#include <functional>

namespace Lumora::Host {

class PlayerPlugin : public VSE::Plugin, public PlaybackServicesInterface, public PlayerInterface {
public:
    struct Callbacks {
        // Playback was asked for url; started tells whether the player program started.
        std::function<void(const QUrl &url, bool started, const QString &error)> played;
        // A finished download was handed to the library.
        std::function<void()> downloadCompleted;
    };

    PlayerPlugin(VSE::PluginContext *context, Callbacks callbacks);

    int32_t getInterface(const VSE::AllocatedString<char> &name, void **out) override;

    bool playUrl(const QUrl &url, int32_t flags) override;
    void onDownloadCompleted() override;

private:
    Callbacks m_callbacks;
};

} // namespace Lumora::Host
