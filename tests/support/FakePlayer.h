#pragma once
// The player's playback services and completion hook as one test plugin; records what it is asked.

#include "plugin/InterfaceNames.h"
#include "plugin/Plugin.h"
#include "plugin/PlayerInterfaces.h"

#include <QUrl>

#include <atomic>
#include <mutex>
#include <vector>

namespace LumoraTest {

class FakePlayer : public VSE::Plugin, public Lumora::PlaybackServicesInterface, public Lumora::PlayerInterface {
public:
    using VSE::Plugin::Plugin;

    int32_t getInterface(const VSE::AllocatedString<char> &name, void **out) override
    {
        if (!out)
            return VSE::PluginNotAvailable;
        *out = nullptr;
        if (name == VSE::InterfaceNames::playbackServices())
            *out = static_cast<Lumora::PlaybackServicesInterface *>(this);
        else if (name == VSE::InterfaceNames::player())
            *out = static_cast<Lumora::PlayerInterface *>(this);
        else
            return VSE::PluginNotAvailable;
        return VSE::PluginOk;
    }

    bool playUrl(const QUrl &url, int32_t) override
    {
        std::lock_guard lock(m_mutex);
        m_played.push_back(url);
        return true;
    }

    void onDownloadCompleted() override { ++completions; }

    std::vector<QUrl> played() const
    {
        std::lock_guard lock(m_mutex);
        return m_played;
    }

    std::atomic<int> completions{0};

private:
    mutable std::mutex m_mutex;
    std::vector<QUrl> m_played;
};

} // namespace LumoraTest
