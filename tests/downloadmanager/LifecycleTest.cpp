#include "tests/downloadmanager/ManagerFixture.h"

#include <chrono>
#include <thread>

using namespace LumoraTest;
using namespace Lumora;
using namespace std::chrono_literals;

namespace {

struct Lifecycle : ManagerFixture {
    Lifecycle() { schedulerEnabled = true; }
};

bool waitFor(const std::function<bool()> &pred)
{
    const auto end = std::chrono::steady_clock::now() + 5s;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

} // namespace

TEST_F(Lifecycle, shutdownWhileADownloadRunsRequeuesItAndEndsTheThread)
{
    auto item = library->addItem("http://h/a.mp4", Queued);
    initialScript = FakeDownloadThread::runUntilStopped();
    build();
    EXPECT_EQ(manager->getRefCount(), 2);
    ASSERT_TRUE(waitFor([&] { return worker.load()->running.load(); }));
    item->setStatus(Downloading);  // what the worker does when the transfer begins
    recorder.clear();

    auto *impl = manager->impl();
    manager->shutdown();
    EXPECT_EQ(manager->impl(), nullptr);
    EXPECT_EQ(manager->getRefCount(), 1);
    (void)impl;
    const auto t = recorder.topics();
    ASSERT_GE(t.size(), 2u);
    EXPECT_EQ(t[0], ListChanged);
    EXPECT_EQ(t[1], Paused);
    EXPECT_EQ(item->status(), Queued);
    EXPECT_EQ(item->committedStatus(), Queued);

    manager->shutdown();  // a second shutdown gives nothing back
    EXPECT_EQ(manager->getRefCount(), 1);
}

TEST_F(Lifecycle, shutdownWhilePausedSendsNoPauseAgain)
{
    build();
    manager->pauseAll();
    recorder.clear();
    manager->shutdown();
    EXPECT_TRUE(recorder.topics().empty());
}

TEST_F(Lifecycle, destructionWithoutShutdownStopsEverythingTheSameWay)
{
    auto item = library->addItem("http://h/a.mp4", Queued);
    initialScript = FakeDownloadThread::runUntilStopped();
    build();
    ASSERT_TRUE(waitFor([&] { return worker.load()->running.load(); }));
    item->setStatus(Downloading);
    // The host drops both references without calling shutdown.
    manager->release();
    manager->release();
    manager = nullptr;
    EXPECT_EQ(item->committedStatus(), Queued);
    ASSERT_EQ(context.notifications().size(), 2u);
}

TEST_F(Lifecycle, withoutAMediaLibraryThereIsNoThreadAndNoSelfReference)
{
    context.releaseInstances();
    library = nullptr;
    build();
    EXPECT_EQ(manager->getRefCount(), 1);
    EXPECT_FALSE(manager->impl()->isRunning());
    manager->shutdown();
    EXPECT_EQ(manager->getRefCount(), 1);
}
