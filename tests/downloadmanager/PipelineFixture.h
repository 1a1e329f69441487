#pragma once
// The whole plugin the way a player runs it: the host context loads the media library, the stream
// engine and the download manager from their manifests in the build's library folder; the real
// worker drives the real engine against the in-process HTTP server; everything lives in a temporary
// home.

#include "host/context/HostPluginContext.h"
#include "plugin/SettingKeys.h"
#include "host/lmrlibrary/OSUtilities.h"
#include "lmtl/RefCountedPtr.h"
#include "plugin/DownloadManagerInterface.h"
#include "plugin/InterfaceNames.h"
#include "plugin/PluginInterfaceHandle.h"
#include "plugin/ShutdownInterface.h"
#include "plugin/URIReceiver.h"
#include "settings/VexoSettings.h"
#include "tests/support/TempHome.h"
#include "tests/support/ThreadSanitizerDefaults.h"
#include "tests/support/http/HttpTestServer.h"

#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

namespace LumoraTest {

// The probe's thread needs a Qt application object (its event loop need not run).
class QtApplication : public ::testing::Environment {
public:
    void SetUp() override
    {
        static int argc = 1;
        static char name[] = "pipeline_tests";
        static char *argv[] = {name, nullptr};
        m_app = std::make_unique<QCoreApplication>(argc, argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    std::unique_ptr<QCoreApplication> m_app;
};

class PipelineFixture : public ::testing::Test {
protected:
    using Item = Lumora::MediaManagerInterface::QueuedFileInterface;

    void SetUp() override
    {
        // Where the binding finds the engine when the plain library search does not (a sanitizer's
        // dlopen does not see the plugin's runpath).
        lmtl::RefCountedPtr<lmds::IVexoSettings> desktop;
        ASSERT_TRUE(lmds::openSettings(Lumora::SettingKeys::componentPath(Lumora::SettingKeys::DesktopServiceComponent), lmds::kOpenCreateUser, desktop.receive()));
        ASSERT_TRUE(desktop->setValue(std::string(Lumora::SettingKeys::InstallDir), std::string(LUMORA_LIBRARY_DIR)));
        ASSERT_GE(context.scanPluginFolder(LUMORA_LIBRARY_DIR), 3);
    }

    void TearDown() override { shutdown(); context.shutdown(); }

    // Loads the download manager (which starts its scheduler on the library's queue).
    void start()
    {
        ASSERT_EQ(manager.acquire(&context), VSE::PluginOk);
        ASSERT_EQ(shutdownHandle.acquire(&context), VSE::PluginOk);
        ASSERT_EQ(receiver.acquire(&context), VSE::PluginOk);
        ASSERT_EQ(media.acquire(&context), VSE::PluginOk);
    }

    void shutdown()
    {
        if (auto *s = shutdownHandle.as<Lumora::ShutdownInterface>(); s && !m_shutDown) {
            m_shutDown = true;
            s->shutdown();
        }
    }

    Lumora::DownloadManagerInterface *dm() const { return manager.as<Lumora::DownloadManagerInterface>(); }
    Lumora::URIReceiver *uris() const { return receiver.as<Lumora::URIReceiver>(); }
    Lumora::MediaManagerInterface::MediaManager *library() const
    {
        return media.as<Lumora::MediaManagerInterface::MediaManager>();
    }

    std::vector<lmtl::RefCountedPtr<Item>> queue() const
    {
        std::vector<lmtl::RefCountedPtr<Item>> items;
        lmtl::RefCountedPtr<Lumora::MediaManagerInterface::PlaylistInterface> playlist;
        if (!library()->getPlaylist(Lumora::MediaManagerInterface::DownloadPlaylistKind, 0, 0, playlist.receive()))
            return items;
        const int64_t n = playlist->count();
        for (int64_t i = 0; i < n; ++i) {
            lmtl::RefCountedPtr<Item> item;
            if (playlist->itemAt(i, item.receive()))
                items.push_back(item);
        }
        return items;
    }

    template <class Pred>
    static bool waitFor(Pred pred, std::chrono::milliseconds limit)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    static QByteArray contents(const QUrl &file)
    {
        QFile f(file.toLocalFile());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    TempHome home;
    HttpTestServer server;
    Lumora::HostPluginContext context;
    VSE::PluginInterfaceHandle manager{VSE::InterfaceNames::downloadManager()};
    VSE::PluginInterfaceHandle shutdownHandle{VSE::InterfaceNames::shutdown()};
    VSE::PluginInterfaceHandle receiver{VSE::InterfaceNames::uriReceiver()};
    VSE::PluginInterfaceHandle media{VSE::InterfaceNames::mediaManager()};

private:
    bool m_shutDown = false;
};

} // namespace LumoraTest

