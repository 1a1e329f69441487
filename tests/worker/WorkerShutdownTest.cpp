// The real worker inside the real manager: a player that shuts down while a probe waits on a server
// that never answers gets its shutdown back at once, and the download stays queued.

#include "downloadmanager/DownloadManager.h"
#include "downloadmanager/DownloadManagerImpl.h"
#include "plugin/InterfaceNames.h"
#include "tests/support/FakeMediaLibrary.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestHostContext.h"
#include "tests/support/http/HttpTestServer.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace LumoraTest;

TEST(WorkerShutdown, aShutdownDuringTheProbeReturnsPromptlyAndKeepsTheDownloadQueued)
{
    TempHome home;
    TestHostContext context;
    auto *library = new FakeMediaLibrary(&context);
    context.addInstance(library, context.describe("library", {VSE::InterfaceNames::MediaManagerText,
                                                              VSE::InterfaceNames::MediaManagerV2Text}));
    HttpTestServer server;
    HttpBehaviour silent;
    silent.stallBeforeHeaders = std::chrono::seconds(60);
    server.serveGenerated("/clip.mp4", 1000, silent);

    auto *manager = new Lumora::DownloadManager(&context);
    lmtl::RefCountedPtr<Lumora::MediaManagerInterface::QueuedFileInterface> item;
    ASSERT_TRUE(manager->addDownload(item.receive(), QUrl(QString::fromStdString(server.url("/clip.mp4"))), "clip", ""));
    ASSERT_TRUE(server.waitForRequests("/clip.mp4", 1, std::chrono::seconds(10)));

    const auto started = std::chrono::steady_clock::now();
    manager->shutdown();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    manager->release();
    EXPECT_EQ(item->status(), Lumora::Queued);
}
