// The decisions of one download run, against a scripted engine. The size probe talks to a real
// server on the loopback interface; everything else the run talks to is a fake that records.

#include "worker/HttpDownloadThread.h"
#include "plugin/Topics.h"

#include "host/lmrlibrary/UIThread.h"
#include "host/lmrlibrary/VerboseLog.h"
#include "plugin/InterfaceNames.h"
#include "tests/support/FakeMediaLibrary.h"
#include "tests/support/FakePlayer.h"
#include "tests/support/PubSubRecorder.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestHostContext.h"
#include "tests/support/http/HttpTestServer.h"
#include "tests/worker/WorkerFakes.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <thread>

using namespace Lumora;
using namespace LumoraTest;

namespace {

constexpr uint64_t kSize = 1000;

class DownloadFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = new FakeMediaLibrary(&context);
        context.addInstance(library, context.describe("library", {VSE::InterfaceNames::MediaManagerText,
                                                                  VSE::InterfaceNames::MediaManagerV2Text}));
        inspector = new FakeInspector(&context);
        context.addInstance(inspector, context.describe("inspector", {VSE::InterfaceNames::FileInspectorText}));
        player = new FakePlayer(&context);
        context.addInstance(player, context.describe("player", {VSE::InterfaceNames::PlaybackServicesText,
                                                                VSE::InterfaceNames::PlayerText}));
        server.serveGenerated("/clip.mp4", kSize);
        engine.scriptTransfer(kSize, 400);
        setOutput(home.path() + "/engine/clip.mp4");
        mediaFolder = home.path() + "/Videos/Vexo Movies";
        freeSpace = [](const QString &, uint64_t *free) {
            *free = 1ull << 50;
            return true;
        };
    }

    void setOutput(const QString &path)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(QByteArray(kSize, 'v'));
        engine.outputPath = path.toStdU16String();
    }

    HttpDownloadThread &worker()
    {
        if (!m_worker) {
            HttpDownloadThread::Options options;
            options.engine = engine.api();
            options.timing.transferPoll = std::chrono::milliseconds(1);
            options.timing.quickFinishSlice = options.timing.transferPoll;  // one engine poll a scripted pass
            options.timing.readinessPoll = std::chrono::milliseconds(1);
            options.timing.stallPeriod = std::chrono::milliseconds(20);
            options.freeSpace = freeSpace;
            m_worker = std::make_unique<HttpDownloadThread>(&context, options);
            m_worker->setManager(&manager, &listener);
        }
        return *m_worker;
    }

    lmtl::RefCountedPtr<FakeQueuedFile> addItem(const std::string &url)
    {
        return library->addItem(QString::fromStdString(url), Queued);
    }
    lmtl::RefCountedPtr<FakeQueuedFile> clip() { return addItem(server.url("/clip.mp4")); }

    int topicCount(const QString &topic) const
    {
        int n = 0;
        for (const auto &t : recorder.topics())
            n += t == topic;
        return n;
    }

    TempHome home;
    TestHostContext context;
    FakeMediaLibrary *library = nullptr;
    FakeInspector *inspector = nullptr;
    FakePlayer *player = nullptr;
    HttpTestServer server;
    FakeEngine engine;
    RecordingManager manager;
    RecordingListener listener;
    PubSubRecorder recorder;
    DiskSpace::FreeSpaceReader freeSpace;
    QString mediaFolder;

private:
    std::unique_ptr<HttpDownloadThread> m_worker;
};

} // namespace

TEST_F(DownloadFixture, withoutAnItemNothingHappens)
{
    auto item = clip();
    ASSERT_EQ(worker().download(item.get()), Completed);
    EXPECT_EQ(worker().download(nullptr), Invalid);
    QueuedFileInterface *current = nullptr;
    EXPECT_TRUE(worker().getCurrentItem(&current));
    EXPECT_EQ(current, item.get());
    current->release();
}

TEST_F(DownloadFixture, aCompleteRunReportsInOrderAndPlacesTheFile)
{
    auto item = clip();
    EXPECT_EQ(worker().download(item.get()), Completed);

    const QString target = mediaFolder + "/clip.vexo";
    EXPECT_TRUE(QFile::exists(target));
    EXPECT_FALSE(QFile::exists(home.path() + "/engine/clip.mp4"));
    EXPECT_EQ(item->fileUrl(), QUrl::fromLocalFile(target));
    EXPECT_EQ(item->title(), "clip.vexo");
    EXPECT_EQ(manager.values("size"), std::vector<int64_t>{kSize});
    EXPECT_EQ(manager.values("status"), (std::vector<int64_t>{Downloading, Completed}));
    EXPECT_EQ(manager.values("progress"), (std::vector<int64_t>{40, 80, 100}));
    const auto names = manager.names();
    EXPECT_EQ(names.front(), "size");
    EXPECT_EQ(names[1], "file");
    // The probed size goes with the file, so that a body without a length cannot run past it.
    EXPECT_EQ(engine.calls()[0], "option");
    EXPECT_EQ(engine.calls()[1], "open");
    EXPECT_EQ(engine.options(), (std::vector<std::pair<std::u16string, std::u16string>>{{u"ExpectedSize", u"1000"}}));
    EXPECT_EQ(engine.count("close"), 1);
    EXPECT_FALSE(engine.fileOpen.load());
    EXPECT_EQ(item->committedStatus(), Downloading);  // set directly on the item before the transfer
    EXPECT_EQ(topicCount(QLatin1String(Lumora::HubTopics::MediaItemAdded)), 1);
    EXPECT_EQ(player->completions.load(), 1);
    EXPECT_EQ(item->completedMarks.load(), 1);
    EXPECT_TRUE(listener.failures().empty());
    EXPECT_EQ(worker().outputPath(), home.path() + "/engine/clip.mp4");

    // The next download of the same name takes the next free one.
    setOutput(home.path() + "/engine/clip.mp4");
    engine.infoPasses = 0;
    auto again = clip();
    EXPECT_EQ(worker().download(again.get()), Completed);
    EXPECT_TRUE(QFile::exists(mediaFolder + "/clip[1].vexo"));
}

TEST_F(DownloadFixture, aProbeThatLearnsNothingFailsBeforeTheEngine)
{
    HttpBehaviour noLength;
    noLength.length = HttpLengthMode::Omitted;
    server.serveGenerated("/clip.mp4", kSize, noLength);
    auto item = clip();
    EXPECT_EQ(worker().download(item.get()), Failed);
    EXPECT_EQ(manager.values("size"), std::vector<int64_t>{0});
    EXPECT_EQ(manager.values("status"), std::vector<int64_t>{Failed});
    EXPECT_TRUE(engine.calls().empty());
}

TEST_F(DownloadFixture, aShortDiskFailsBeforeTheEngineAndLeavesTheRecordToTheScheduler)
{
    freeSpace = [](const QString &, uint64_t *free) {
        *free = 1500;
        return true;
    };
    auto item = clip();
    EXPECT_EQ(worker().download(item.get()), Failed);
    ASSERT_EQ(listener.shortages().size(), 1u);
    EXPECT_EQ(listener.shortages()[0].required, 2000u);
    EXPECT_TRUE(engine.calls().empty());
    EXPECT_EQ(manager.count("status"), 0);

    // A resumed download does not look at the disk.
    item->freshStart = false;
    item->setProgress(30);
    EXPECT_EQ(worker().download(item.get()), Completed);
    EXPECT_EQ(listener.shortages().size(), 1u);
}

TEST_F(DownloadFixture, anEngineThatCannotOpenEndsTheRunAtOnce)
{
    engine.openResult = VDM_E_UNAVAILABLE;
    auto item = clip();
    EXPECT_EQ(worker().download(item.get()), Failed);
    EXPECT_EQ(engine.calls(), (std::vector<std::string>{"option", "open"}));
    EXPECT_EQ(manager.count("status"), 0);
    EXPECT_TRUE(listener.failures().empty());
}

TEST_F(DownloadFixture, aServiceThatStopsFailsTheRunWithOneReport)
{
    engine.scriptTransfer(kSize, 10);
    engine.serviceStopsAfterPasses = 3;
    auto item = clip();
    EXPECT_EQ(worker().download(item.get()), Failed);
    EXPECT_EQ(manager.values("status"), (std::vector<int64_t>{Downloading, Failed}));
    EXPECT_EQ(listener.failures(), std::vector<QUrl>{item->fileUrl()});
    EXPECT_EQ(item->status(), Failed);
    EXPECT_EQ(topicCount(QLatin1String(Lumora::HubTopics::MediaItemChanged)), 1);
    const auto calls = engine.calls();
    EXPECT_EQ(calls[calls.size() - 4], "pause");
    EXPECT_EQ(calls.back(), "close");
    EXPECT_FALSE(QFile::exists(mediaFolder + "/clip.vexo"));
}

TEST_F(DownloadFixture, theReadinessWaitEndsWithTheServiceOrAStop)
{
    engine.notReadyChecks = -1;
    engine.serviceRunning = false;
    auto item = clip();
    EXPECT_EQ(worker().download(item.get()), Failed);
    EXPECT_EQ(engine.count("info"), 0);
    EXPECT_EQ(engine.count("close"), 1);

    engine.serviceRunning = true;
    auto stopped = clip();
    worker();
    std::thread stopper([&] {
        while (engine.count("check") < 3)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        worker().requestStop(nullptr);
    });
    EXPECT_EQ(worker().download(stopped.get()), Queued);
    stopper.join();
    EXPECT_EQ(engine.count("close"), 2);
    EXPECT_EQ(manager.values("status").back(), Queued);
}

// After the stall period, a transfer the engine calls whole but short of the probed size fails;
// sizes compare in 64 bits, so a 5 GiB file 4 GiB in is short.
TEST_F(DownloadFixture, aTransferShortOfTheProbedSizeFailsAfterTheStallPeriod)
{
    constexpr uint64_t fiveGiB = 5ull << 30;
    server.serveGenerated("/big", fiveGiB);
    const uint64_t got = (4ull << 30) + 5;
    engine.setInfoScript([got](int pass) {
        if (pass < 30)
            return FakeEngine::Info{0, VDM_SIZE_UNKNOWN, got};
        return FakeEngine::Info{0, got, got};
    });
    auto item = addItem(server.url("/big"));
    EXPECT_EQ(worker().download(item.get()), Failed);
    EXPECT_EQ(manager.values("size"), std::vector<int64_t>{static_cast<int64_t>(fiveGiB)});

    // Within the stall period the same answer completes.
    engine.infoPasses = 0;
    engine.setInfoScript([got](int) { return FakeEngine::Info{0, got, got}; });
    setOutput(home.path() + "/engine/big");
    auto early = addItem(server.url("/big"));
    EXPECT_EQ(worker().download(early.get()), Completed);
}

TEST_F(DownloadFixture, anEngineThatEndsWithoutCountsHasNotCompleted)
{
    engine.setInfoScript([](int) { return FakeEngine::Info{VDM_E_UNAVAILABLE, 0, 0, false}; });
    auto item = clip();
    EXPECT_EQ(worker().download(item.get()), Failed);
}

TEST_F(DownloadFixture, aStopDuringTheTransferRequeuesWithoutReportOrHandOff)
{
    engine.scriptTransfer(kSize, 10);
    manager.onCall = [this](const std::string &name) {
        if (name == "progress")
            worker().requestStop(nullptr);
    };
    auto item = clip();
    EXPECT_EQ(worker().download(item.get()), Queued);
    EXPECT_EQ(manager.values("status"), (std::vector<int64_t>{Downloading, Queued}));
    EXPECT_EQ(engine.count("pause"), 1);
    EXPECT_EQ(engine.count("path"), 1);
    EXPECT_EQ(engine.count("close"), 1);
    EXPECT_TRUE(listener.failures().empty());
    EXPECT_FALSE(QFile::exists(mediaFolder + "/clip.vexo"));
    EXPECT_EQ(topicCount(QLatin1String(Lumora::HubTopics::MediaItemAdded)), 0);

    // The request was used up by that run.
    manager.onCall = nullptr;
    engine.scriptTransfer(kSize, 400);
    engine.infoPasses = 0;
    EXPECT_EQ(worker().download(item.get()), Completed);
}

// A stop that comes before the run starts (the scheduler has picked the item, a pause is under way)
// ends the run before anything is asked.
TEST_F(DownloadFixture, aStopBeforeTheRunIsNotLost)
{
    auto item = clip();
    worker().stopAndWait();
    EXPECT_EQ(worker().download(item.get()), Queued);
    EXPECT_TRUE(server.requests().empty());
    EXPECT_TRUE(engine.calls().empty());
}

TEST_F(DownloadFixture, aStopDuringTheProbeRequeues)
{
    HttpBehaviour silent;
    silent.stallBeforeHeaders = std::chrono::seconds(60);
    server.serveGenerated("/clip.mp4", kSize, silent);
    auto item = clip();
    worker();
    std::thread stopper([&] {
        server.waitForRequests("/clip.mp4", 1, std::chrono::seconds(5));
        worker().stopAndWait();
    });
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(worker().download(item.get()), Queued);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    stopper.join();
    EXPECT_TRUE(engine.calls().empty());
    EXPECT_EQ(manager.count("status"), 0);
}

TEST_F(DownloadFixture, stopAndWaitReturnsOnlyOnceTheEngineFileIsClosed)
{
    engine.setInfoScript([](int) { return FakeEngine::Info{0, kSize, 1}; });
    auto item = clip();
    worker();
    DownloadStatusValue result = 0;
    std::thread run([&] { result = worker().download(item.get()); });
    while (engine.infoPasses.load() < 5)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    worker().stopAndWait();
    EXPECT_FALSE(engine.fileOpen.load());
    EXPECT_EQ(engine.count("close"), 1);
    run.join();
    EXPECT_EQ(result, Queued);
}

TEST_F(DownloadFixture, playbackIsAskedForAboveFivePercentOnEveryPass)
{
    engine.setInfoScript([](int pass) {
        static const uint64_t steps[] = {50, 50, 60, 70, kSize};
        const uint64_t received = steps[std::min(pass, 4)];
        return FakeEngine::Info{received == kSize ? VDM_ENDED : 0, kSize, received};
    });
    auto item = clip();
    item->setPlayWhenReady(true);
    manager.playAnswer = false;
    EXPECT_EQ(worker().download(item.get()), Completed);
    // 5 percent twice: nothing; 6 and 7: the flag and a play request each; the end: the hand-off's
    // flag and one more request.
    EXPECT_EQ(manager.values("flag"), (std::vector<int64_t>{PlayableFlag, PlayableFlag, PlayableFlag}));
    EXPECT_EQ(manager.count("play"), 3);
    EXPECT_TRUE(item->playWhenReady());
    EXPECT_EQ(player->completions.load(), 1);

    manager.playAnswer = true;
    engine.infoPasses = 0;
    setOutput(home.path() + "/engine/clip.mp4");
    auto ready = clip();
    ready->setPlayWhenReady(true);
    EXPECT_EQ(worker().download(ready.get()), Completed);
    EXPECT_FALSE(ready->playWhenReady());
    EXPECT_EQ(manager.count("play"), 4);  // played at 6 percent, not asked again
}

TEST_F(DownloadFixture, aRefusedHandOffFailsTheRunWithOneReport)
{
    library->acceptFiles = false;
    auto item = clip();
    EXPECT_EQ(worker().download(item.get()), Failed);
    EXPECT_EQ(listener.failures().size(), 1u);
    EXPECT_EQ(item->status(), Failed);
    EXPECT_EQ(player->completions.load(), 0);

    // A file that cannot be placed fails the same way and stays with the engine.
    library->acceptFiles = true;
    engine.infoPasses = 0;
    engine.outputPath.clear();
    auto lost = clip();
    EXPECT_EQ(worker().download(lost.get()), Failed);
    EXPECT_EQ(listener.failures().size(), 2u);
}

TEST_F(DownloadFixture, credentialsMoveFromTheAddressIntoEngineOptionsWhole)
{
    const std::string longPassword(300, 'p');
    HttpBehaviour locked;
    locked.username = "ann";
    locked.password = longPassword;
    server.serveGenerated("/clip.mp4", kSize, locked);
    auto item = addItem(server.urlWithCredentials("/clip.mp4", "ann", longPassword));
    EXPECT_EQ(worker().download(item.get()), Completed);
    const auto options = engine.options();
    ASSERT_EQ(options.size(), 3u);
    EXPECT_EQ(options[0], std::make_pair(std::u16string(u"Login"), std::u16string(u"ann")));
    EXPECT_EQ(options[1].first, u"Password");
    EXPECT_EQ(options[1].second.size(), 300u);
    EXPECT_EQ(options[2].first, u"ExpectedSize");
    EXPECT_EQ(QString::fromStdU16String(engine.openedUri()), QString::fromStdString(server.url("/clip.mp4")));

    // A user name alone stays in the address and sets no option.
    server.serveGenerated("/clip.mp4", kSize);
    QUrl userOnly(QString::fromStdString(server.url("/clip.mp4")));
    userOnly.setUserName("ann");
    auto partial = library->addItem(userOnly.toString(), Queued);
    engine.infoPasses = 0;
    setOutput(home.path() + "/engine/clip.mp4");
    EXPECT_EQ(worker().download(partial.get()), Completed);
    EXPECT_EQ(engine.options().size(), 4u) << "the size again, and no credentials";
    EXPECT_TRUE(QString::fromStdU16String(engine.openedUri()).contains("ann@"));
}

TEST_F(DownloadFixture, theEnginesOutputPathKeepsEveryCharacter)
{
    const QString output = home.path() + QString::fromUtf8("/engine/ünï 日本 😀.part");
    setOutput(output);
    auto item = clip();
    EXPECT_EQ(worker().download(item.get()), Completed);
    EXPECT_EQ(worker().outputPath(), output);
    EXPECT_TRUE(QFile::exists(mediaFolder + "/clip.vexo"));
}

// Whatever ends a run without its file leaves the reason on the item, where the status path stores
// it with the Failed status.
TEST_F(DownloadFixture, everyFailureLeavesItsReasonOnTheItem)
{
    const auto reasonAfter = [&](const lmtl::RefCountedPtr<FakeQueuedFile> &item) {
        EXPECT_EQ(worker().download(item.get()), Failed);
        engine.infoPasses = 0;
        return item->failureReason();
    };

    HttpBehaviour missing;
    missing.forceStatus = 404;
    server.serveGenerated("/missing.mp4", kSize, missing);
    FailureReason reason = reasonAfter(addItem(server.url("/missing.mp4")));
    EXPECT_EQ(reason.kind, FailureKind::HttpStatus);
    EXPECT_EQ(reason.httpStatus, 404);

    freeSpace = [](const QString &, uint64_t *free) {
        *free = 1500;
        return true;
    };
    {
        HttpDownloadThread::Options options;
        options.engine = engine.api();
        options.freeSpace = freeSpace;
        HttpDownloadThread shortOfSpace(&context, options);
        auto item = clip();
        EXPECT_EQ(shortOfSpace.download(item.get()), Failed);
        EXPECT_EQ(item->failureReason().kind, FailureKind::NotEnoughSpace);
        EXPECT_EQ(item->failureReason().neededBytes, DiskSpace::requiredBytes(kSize));
        EXPECT_EQ(item->failureReason().freeBytes, 1500u);
    }

    engine.openResult = VDM_E_UNAVAILABLE;
    EXPECT_EQ(reasonAfter(clip()).kind, FailureKind::EngineUnavailable);
    engine.openResult = VDM_OK;

    engine.setInfoScript([](int pass) {
        if (pass < 2)
            return FakeEngine::Info{VDM_OK, kSize, 100};
        return FakeEngine::Info{VDM_ENDED, kSize, 300, true, VDM_E_HTTP_STATUS, 503};
    });
    reason = reasonAfter(clip());
    EXPECT_EQ(reason.kind, FailureKind::HttpStatus);
    EXPECT_EQ(reason.httpStatus, 503);

    engine.scriptTransfer(kSize, 400);
    library->acceptFiles = false;
    reason = reasonAfter(clip());
    EXPECT_EQ(reason.kind, FailureKind::LibraryRefused);
    library->acceptFiles = true;
    engine.outputPath.clear();
    reason = reasonAfter(clip());
    EXPECT_EQ(reason.kind, FailureKind::TargetUnplaceable);
    EXPECT_TRUE(reason.detail.endsWith(".vexo")) << reason.detail.toStdString();
}

TEST_F(DownloadFixture, aCompletedItemIsAsLargeAsWhatArrived)
{
    // The server's first answer said 1000 bytes; the transfer brought 900 and called them whole.
    engine.setInfoScript([](int) { return FakeEngine::Info{VDM_ENDED, 900, 900}; });
    auto item = clip();
    EXPECT_EQ(worker().download(item.get()), Completed);
    EXPECT_EQ(item->size(), 900u);
    EXPECT_FALSE(item->failureReason().isSet());
}

TEST_F(DownloadFixture, aRunThatCannotBeRecordedDoesNotStartAndSaysWhyOnce)
{
    std::vector<QString> shown;
    const auto previous = UIThread::setMessageSink([&](int, const QString &text, const QString &detail) { shown.push_back(text + detail); });
    auto item = clip();
    item->refuseCommit = true;
    EXPECT_EQ(worker().download(item.get()), Queued);
    EXPECT_EQ(worker().download(item.get()), Queued);
    EXPECT_TRUE(engine.calls().empty()) << "nothing is transferred that could not be recorded";
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown[0].contains("disk")) << shown[0].toStdString();

    item->refuseCommit = false;
    EXPECT_EQ(worker().download(item.get()), Completed);
    UIThread::setMessageSink(previous);
}

TEST_F(DownloadFixture, theEnginesRetriesReachTheItemAndTheVerboseChannelOncePerTry)
{
    QStringList lines;
    const auto previous = VerboseLog::setSink([&](const QString &line) { lines << line; });
    std::vector<TransferState> seen;
    engine.setInfoScript([&](int pass) {
        FakeEngine::Info info{VDM_OK, kSize, 300};
        if (pass == 1 || pass == 2)  // the connection was lost: try 2 of 10 in 4 s, shown twice
            info = FakeEngine::Info{VDM_OK, kSize, 300, true, VDM_OK, 0, 2, 10, pass == 1 ? 4000u : 3900u,
                                    VDM_E_CONNECTION_LOST};
        if (pass >= 3)
            info = FakeEngine::Info{VDM_ENDED, kSize, kSize, true, VDM_OK, 0, 2, 10};
        return info;
    });
    manager.onProgress = [&](QueuedFileInterface *item) { seen.push_back(item->transferState()); };
    auto item = clip();
    EXPECT_EQ(worker().download(item.get()), Completed);
    VerboseLog::setSink(previous);

    ASSERT_GE(seen.size(), 3u);
    EXPECT_FALSE(seen[0].isWaitingToRetry());
    EXPECT_EQ(seen[1].retryInMs, 4000u);
    EXPECT_EQ(seen[1].tries, 2u);
    EXPECT_EQ(seen[1].maxTries, 10u);
    EXPECT_EQ(seen[1].retrying.kind, FailureKind::ConnectionLost);
    const QStringList retries = lines.filter(QStringLiteral("retrying"));
    ASSERT_EQ(retries.size(), 1);
    EXPECT_TRUE(retries[0].startsWith(QStringLiteral("%1: retrying in 4 s: the connection to").arg(item->id())))
        << retries[0].toStdString();
    EXPECT_TRUE(retries[0].endsWith(QStringLiteral("was lost (try 2 of 10)"))) << retries[0].toStdString();
    EXPECT_EQ(item->transferState().received, 0u) << "nothing live is left once the run is over";
}
