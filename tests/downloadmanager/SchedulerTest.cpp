#include "tests/downloadmanager/ManagerFixture.h"
#include "plugin/SettingKeys.h"
#include "plugin/Topics.h"

#include "host/lmrlibrary/OSUtilities.h"
#include "host/lmrlibrary/PubSubHub.h"
#include "settings/VexoSettings.h"

#include <chrono>
#include <thread>

using namespace LumoraTest;
using namespace Lumora;
using namespace std::chrono_literals;

namespace {

struct Scheduler : ManagerFixture {
    Scheduler() { schedulerEnabled = true; }

    template <class Pred>
    static bool waitFor(Pred pred, std::chrono::milliseconds limit = 5s)
    {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!pred()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(2ms);
        }
        return true;
    }

    Impl &impl() { return *manager->impl(); }
    // From inside a worker script: the manager the scheduler runs for.
    static Impl &implOf(FakeDownloadThread &self) { return *static_cast<DownloadManager *>(self.manager.load())->impl(); }
};

} // namespace

TEST_F(Scheduler, startsTheFirstQueuedItemAtTheHeadAfterAnnouncingTheList)
{
    auto done = library->addItem("http://h/done.mp4", Completed);
    auto item = library->addItem("http://h/a.mp4", Queued);
    std::atomic<int64_t> indexAtStart{-1};
    std::vector<QString> topicsAtStart;
    initialScript = [&](MediaManagerInterface::QueuedFileInterface *, FakeDownloadThread &) {
        indexAtStart = indexOf(item->id());
        topicsAtStart = recorder.topics();
        return Completed;
    };
    build();
    ASSERT_TRUE(waitFor([&] { return item->committedStatus() == Completed; }));
    EXPECT_EQ(indexAtStart.load(), 0);
    ASSERT_FALSE(topicsAtStart.empty());
    EXPECT_EQ(topicsAtStart.front(), ListChanged);
    EXPECT_EQ(library->playlistIds().back(), item->id()) << "finished items go to the end";
    EXPECT_EQ(worker.load()->downloads.load(), 1);
    destroyManager();
}

TEST_F(Scheduler, aWaitingFirstItemHoldsBackEverythingBehindIt)
{
    auto waiting = library->addItem("http://h/w.mp4", Waiting);
    auto queued = library->addItem("http://h/q.mp4", Queued);
    build();
    const uint64_t passes = impl().idlePasses();
    ASSERT_TRUE(waitFor([&] { return impl().idlePasses() >= passes + 2; }));
    EXPECT_EQ(worker.load()->downloads.load(), 0);

    waiting->setStatus(Completed);
    ASSERT_TRUE(waitFor([&] { return worker.load()->downloads.load() == 1; }));
    destroyManager();
}

TEST_F(Scheduler, anInterruptedRunIsRequeuedAndChosenAgain)
{
    auto item = library->addItem("http://h/a.mp4", Queued);
    std::atomic<int> runs{0};
    initialScript = [&](MediaManagerInterface::QueuedFileInterface *, FakeDownloadThread &) {
        return ++runs == 1 ? Interrupted : Completed;
    };
    build();
    ASSERT_TRUE(waitFor([&] { return item->committedStatus() == Completed; }));
    EXPECT_EQ(runs.load(), 2);
    destroyManager();
}

TEST_F(Scheduler, queuedDownloadsRunBackToBackWithoutAnIdlePass)
{
    auto a = library->addItem("http://h/a.mp4", Queued);
    auto b = library->addItem("http://h/b.mp4", Queued);
    auto c = library->addItem("http://h/c.mp4", Queued);
    std::atomic<uint64_t> idleAtFirst{0}, idleAtLast{0};
    initialScript = [&](MediaManagerInterface::QueuedFileInterface *item, FakeDownloadThread &self) {
        if (item->id() == a->id())
            idleAtFirst = implOf(self).idlePasses();
        if (item->id() == c->id())
            idleAtLast = implOf(self).idlePasses();
        return Completed;
    };
    build();
    ASSERT_TRUE(waitFor([&] { return c->committedStatus() == Completed; }));
    EXPECT_EQ(idleAtFirst.load(), idleAtLast.load());
    EXPECT_EQ(library->playlistIds(), (std::vector<uint64_t>{a->id(), b->id(), c->id()}));
    destroyManager();
}

// Before each run the worker hears which download is expected after it: the next eligible one, not
// a finished one, and nothing when that one is Waiting (it cannot be asked about yet).
TEST_F(Scheduler, eachRunIsToldWhichDownloadIsExpectedAfterIt)
{
    auto a = library->addItem("http://h/a.mp4", Queued);
    library->addItem("http://h/done.mp4", Completed);
    auto c = library->addItem("http://h/c.mp4", Queued);
    library->addItem("http://h/w.mp4", Waiting);
    build();
    ASSERT_TRUE(waitFor([&] { return c->committedStatus() == Completed; }));
    EXPECT_EQ(worker.load()->expectedNextHints(), (std::vector<QUrl>{QUrl("http://h/c.mp4"), QUrl()}));
    EXPECT_EQ(a->committedStatus(), Completed);
    destroyManager();
}

// A download queued while another runs is named to the worker at once when it comes next, so that
// its size can be asked during the running transfer; one queued behind it is not.
TEST_F(Scheduler, aDownloadQueuedDuringARunIsNamedToTheWorkerWhenItComesNext)
{
    auto a = library->addItem("http://h/a.mp4", Queued);
    std::atomic<bool> running{false}, release{false};
    initialScript = [&](MediaManagerInterface::QueuedFileInterface *item, FakeDownloadThread &) {
        if (item->id() == a->id()) {
            running = true;
            while (!release.load())
                std::this_thread::sleep_for(1ms);
        }
        return Completed;
    };
    build();
    ASSERT_TRUE(waitFor([&] { return running.load(); }));
    ASSERT_TRUE(manager->addDownload(nullptr, QUrl("http://h/b.mp4"), {}, {}));
    ASSERT_TRUE(manager->addDownload(nullptr, QUrl("http://h/c.mp4"), {}, {}));
    EXPECT_EQ(worker.load()->expectedNextHints(), (std::vector<QUrl>{QUrl(), QUrl("http://h/b.mp4")}));
    release = true;
    ASSERT_TRUE(waitFor([&] { return worker.load()->downloads.load() == 3; }));
    destroyManager();
}

TEST_F(Scheduler, aHostCallHoldingTheStateLockMakesThePassIdle)
{
    auto item = library->addItem("http://h/a.mp4", Queued);
    library->addItem("http://h/x.mp4", Completed);
    Impl::setSchedulerEnabled(false);  // no thread until the lock is held
    manager = new DownloadManager(&context);
    Impl::setSchedulerEnabled(true);
    {
        std::lock_guard hold(ImplAccess::stateLock(impl()));
        impl().start();
        const uint64_t passes = impl().idlePasses();
        ASSERT_TRUE(waitFor([&] { return impl().idlePasses() > passes; }));
        EXPECT_EQ(worker.load()->downloads.load(), 0);
    }
    ASSERT_TRUE(waitFor([&] { return worker.load()->downloads.load() == 1; }));
    destroyManager();
}

TEST_F(Scheduler, aPausedManagerStartsNothingUntilResumed)
{
    auto item = library->addItem("http://h/a.mp4", Queued);
    Impl::setSchedulerEnabled(false);  // paused before the first pass can start anything
    manager = new DownloadManager(&context);
    Impl::setSchedulerEnabled(true);
    manager->pauseAll();
    impl().start();
    const uint64_t passes = impl().idlePasses();
    ASSERT_TRUE(waitFor([&] { return impl().idlePasses() >= passes + 2; }));
    EXPECT_EQ(worker.load()->downloads.load(), 0);
    manager->resumeAll();
    ASSERT_TRUE(waitFor([&] { return worker.load()->downloads.load() == 1; }));
    destroyManager();
}

TEST_F(Scheduler, stopWhileIdleReturnsWithinAboutOnePass)
{
    build();
    ASSERT_TRUE(waitFor([&] { return impl().isRunning(); }));
    const auto start = std::chrono::steady_clock::now();
    impl().stop();
    EXPECT_FALSE(impl().isRunning());
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1500ms);
    destroyManager();
}

TEST_F(Scheduler, startFromManyThreadsAtOnceMakesOneLoop)
{
    library->addItem("http://h/x.mp4", Completed);
    Impl::setSchedulerEnabled(false);
    manager = new DownloadManager(&context);
    Impl::setSchedulerEnabled(true);
    std::vector<std::thread> starters;
    for (int i = 0; i < 8; ++i)
        starters.emplace_back([&] { impl().start(); });
    for (auto &t : starters)
        t.join();
    EXPECT_TRUE(impl().isRunning());
    impl().stop();
    EXPECT_FALSE(impl().isRunning());
    destroyManager();
}

TEST_F(Scheduler, stopCalledOnTheSchedulerThreadEndsTheLoopWithoutJoiningItself)
{
    auto item = library->addItem("http://h/a.mp4", Queued);
    std::atomic<bool> stopped{false};
    auto id = PubSubHub::subscribe(QLatin1String(Lumora::HubTopics::DownloadStatusChanged), [&](const QString &, const QVariant &) {
        if (!stopped.exchange(true))
            implOf(*worker.load()).stop();
    });
    build();
    ASSERT_TRUE(waitFor([&] { return stopped.load() && !impl().isRunning(); }));
    PubSubHub::unsubscribe(id);
    destroyManager();
}

TEST_F(Scheduler, unknownResultsAreRecordedAndRefusedResultsDoNotSpin)
{
    auto odd = library->addItem("http://h/odd.mp4", Queued);
    auto stubborn = library->addItem("http://h/stubborn.mp4", Queued);
    initialScript = [&](MediaManagerInterface::QueuedFileInterface *item, FakeDownloadThread &) {
        if (item->id() == odd->id())
            return 42;
        stubborn->refuseCommit = true;  // keeps Queued forever
        return static_cast<int>(Completed);
    };
    build();
    ASSERT_TRUE(waitFor([&] { return odd->committedStatus() == 42; }));
    std::this_thread::sleep_for(1200ms);
    // One run per idle pass at most, not a tight loop.
    EXPECT_LE(worker.load()->downloads.load(), 5);
    EXPECT_GE(worker.load()->downloads.load(), 2);
    destroyManager();
}

TEST_F(Scheduler, aPlaylistThatFailsMidWalkKeepsTheLoopGoing)
{
    library->addItem("http://h/c.mp4", Completed);
    auto item = library->addItem("http://h/a.mp4", Queued);
    library->setFailItemAtIndex(0);
    build();
    const uint64_t passes = impl().idlePasses();
    ASSERT_TRUE(waitFor([&] { return impl().idlePasses() >= passes + 2; }));
    EXPECT_EQ(worker.load()->downloads.load(), 0);
    library->setFailItemAtIndex(-1);
    ASSERT_TRUE(waitFor([&] { return worker.load()->downloads.load() == 1; }));
    destroyManager();
}

TEST_F(Scheduler, withResumeOnStartupOffNothingRunsUntilTheHostResumesOrAdds)
{
    {
        lmtl::RefCountedPtr<lmds::IVexoSettings> component, group;
        ASSERT_TRUE(lmds::openSettings(Lumora::SettingKeys::componentPath(OSUtilities::getComponentIdUTF8()), lmds::kOpenCreateUserWithMachine,
                                       component.receive()));
        ASSERT_TRUE(component->openSubKey(Lumora::SettingKeys::DownloadManagerGroup, group.receive()));
        ASSERT_TRUE(group->setValue(Lumora::SettingKeys::ResumeDownloadsOnStartup, false));
    }
    auto item = library->addItem("http://h/a.mp4", Queued);
    build();
    EXPECT_TRUE(manager->isPaused());
    const uint64_t passes = impl().idlePasses();
    ASSERT_TRUE(waitFor([&] { return impl().idlePasses() >= passes + 2; }));
    EXPECT_EQ(worker.load()->downloads.load(), 0);

    manager->addDownload(nullptr, QUrl("http://h/b.mp4"), {}, {});
    EXPECT_FALSE(manager->isPaused());
    ASSERT_TRUE(waitFor([&] { return worker.load()->downloads.load() == 2; }));
    destroyManager();
}

TEST_F(Scheduler, byDefaultTheQueueRunsAsSoonAsThePluginIsUp)
{
    auto item = library->addItem("http://h/a.mp4", Queued);
    build();
    EXPECT_FALSE(manager->isPaused());
    ASSERT_TRUE(waitFor([&] { return worker.load()->downloads.load() == 1; }));
    destroyManager();
}

TEST_F(Scheduler, workArrivingDuringAnIdlePauseStartsWithoutWaitingForItsEnd)
{
    Impl::setIdlePass(std::chrono::seconds(30));
    library->addItem("http://h/done.mp4", Completed);
    build();
    // The first pass finds nothing to start: from then on the scheduler is in a long pause.
    ASSERT_TRUE(waitFor([&] { return impl().idlePasses() > 0; }));
    manager->addDownload(nullptr, QUrl("http://h/a.mp4"), {}, {});
    EXPECT_TRUE(waitFor([&] { return worker.load()->downloads.load() == 1; }, 10s));

    // A retry wakes it too, once the queue is rearranged.
    manager->pauseAll();
    auto failed = library->addItem("http://h/f.mp4", Failed);
    const uint64_t passes = impl().idlePasses();
    manager->resumeAll();
    ASSERT_TRUE(waitFor([&] { return impl().idlePasses() > passes; }));  // woken, found nothing: idle again
    manager->retryDownload(failed->id());
    EXPECT_TRUE(waitFor([&] { return worker.load()->downloads.load() == 2; }, 10s));
    destroyManager();
    Impl::setIdlePass(std::chrono::milliseconds(500));
}
