// The player core against the real plugins, library and engine: what a face sees of a download (events
// on the main thread), what became of each address, and the orderly shutdown.

#include "host/player/AddressIntake.h"
#include "host/player/Player.h"
#include "plugin/AcceptedEndings.h"
#include "tests/support/TempHome.h"
#include "tests/support/http/HttpTestServer.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

using namespace Lumora;
using namespace Lumora::Host;

namespace {

QString clipPath(const QString &name)
{
    return qEnvironmentVariable("LUMORA_TEST_DATA") + '/' + name;
}

// Everything the player tells its face, and whether it came on the main thread.
struct RecordedEvents : PlayerEvents {
    std::vector<uint64_t> statusIds;
    std::vector<int> stoppingSignals;
    std::vector<std::pair<uint64_t, int32_t>> endings;
    int stoppedCount = 0;
    bool offMainThread = false;

    void note() { offMainThread |= QThread::currentThread() != QCoreApplication::instance()->thread(); }
    void statusChanged(uint64_t id) override { note(); statusIds.push_back(id); }
    void itemChanged(uint64_t) override { note(); }
    void listChanged() override { note(); }
    void pausedChanged(bool) override { note(); }
    void stopping(int signalNumber) override { note(); stoppingSignals.push_back(signalNumber); }
    void stopped() override { note(); ++stoppedCount; }
    void downloadEnded(uint64_t id, int32_t status) override { note(); endings.emplace_back(id, status); }
};

bool spinUntil(const std::function<bool()> &done, int timeoutMs = 30000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

// Intake on the operation thread; the outcomes as they were reported, once it is done.
std::vector<IntakeOutcome> intake(Player &player, const std::vector<QUrl> &urls)
{
    auto outcomes = std::make_shared<std::vector<IntakeOutcome>>();
    auto done = std::make_shared<std::atomic<bool>>(false);
    player.submit([urls, outcomes, done](const LivePlugins &plugins) {
        intakeAddresses(urls, plugins.receiver, plugins.manager,
                        [&](const IntakeOutcome &outcome) { outcomes->push_back(outcome); });
        *done = true;
    });
    EXPECT_TRUE(spinUntil([&] { return done->load(); }));
    return *outcomes;
}

DownloadStatusValue statusOf(const Player &player, uint64_t id)
{
    const Player::ItemPtr item = player.item(id);
    return item ? item->status() : Invalid;
}

} // namespace

TEST(Player, downloadIsSeenAsMainThreadEventsAndShutdownEndsInOrder)
{
    LumoraTest::TempHome home;
    LumoraTest::HttpTestServer server;
    server.serveFile("/clip-160x120.mp4", clipPath("clip-160x120.mp4").toStdString());

    RecordedEvents events;
    Player player(events, {});
    QString error;
    ASSERT_TRUE(player.start(&error)) << error.toStdString();

    const std::vector<IntakeOutcome> outcomes = intake(player, {QUrl(QString::fromStdString(server.url("/clip-160x120.mp4")))});
    ASSERT_EQ(outcomes.size(), 1u);
    ASSERT_EQ(outcomes[0].kind, IntakeOutcome::Kind::Queued);
    const uint64_t id = outcomes[0].id;
    ASSERT_TRUE(spinUntil([&] { return statusOf(player, id) == Completed; }));
    EXPECT_TRUE(spinUntil([&] { return std::count(events.statusIds.begin(), events.statusIds.end(), id) >= 2; }));

    player.shutDown();
    player.shutDown(2);  // a second request changes nothing
    EXPECT_TRUE(player.isStopping());
    ASSERT_TRUE(spinUntil([&] { return events.stoppedCount == 1; }));
    EXPECT_EQ(events.stoppingSignals, std::vector<int>{0});
    EXPECT_FALSE(events.offMainThread);

    // Once the download manager is down, operations give way to their fallback.
    std::atomic<bool> ran{false};
    std::atomic<bool> fellBack{false};
    player.submit([&](const LivePlugins &) { ran = true; }, [&] { fellBack = true; });
    EXPECT_TRUE(spinUntil([&] { return fellBack.load(); }));
    EXPECT_FALSE(ran);
    player.close();
}

TEST(Player, intakeReportsWhatBecameOfEachAddress)
{
    LumoraTest::TempHome home;
    LumoraTest::HttpTestServer server;
    server.serveFile("/clip-176x144.avi", clipPath("clip-176x144.avi").toStdString());
    LumoraTest::HttpBehaviour missing;
    missing.forceStatus = 404;
    server.serveBytes("/broken.mp4", "x", missing);
    const QUrl clip(QString::fromStdString(server.url("/clip-176x144.avi")));
    const QUrl broken(QString::fromStdString(server.url("/broken.mp4")));
    const QUrl notes(QString::fromStdString(server.url("/notes.txt")));

    RecordedEvents events;
    Player player(events, {});
    QString error;
    ASSERT_TRUE(player.start(&error)) << error.toStdString();

    std::vector<IntakeOutcome> first = intake(player, {clip, notes, broken, clip});
    ASSERT_EQ(first.size(), 4u);
    EXPECT_EQ(first[0].kind, IntakeOutcome::Kind::Queued);
    EXPECT_EQ(first[1].kind, IntakeOutcome::Kind::Refused);
    EXPECT_EQ(first[1].id, 0u);
    EXPECT_TRUE(first[1].refusal.contains(AcceptedEndings::endings().join(", "))) << first[1].refusal.toStdString();
    EXPECT_EQ(first[2].kind, IntakeOutcome::Kind::Queued);
    EXPECT_EQ(first[3].kind, IntakeOutcome::Kind::AlreadyQueued);
    EXPECT_EQ(first[3].id, first[0].id);
    EXPECT_FALSE(first[0].title.isEmpty());

    ASSERT_TRUE(spinUntil([&] {
        return statusOf(player, first[0].id) == Completed && statusOf(player, first[2].id) == Failed;
    }));
    // Each ending is told once, with its status, after its notice; its reason is on the item.
    ASSERT_TRUE(spinUntil([&] { return events.endings.size() == 2; }));
    EXPECT_EQ(std::count(events.endings.begin(), events.endings.end(), std::pair<uint64_t, int32_t>(first[0].id, Completed)), 1);
    EXPECT_EQ(std::count(events.endings.begin(), events.endings.end(), std::pair<uint64_t, int32_t>(first[2].id, Failed)), 1);
    EXPECT_EQ(player.item(first[2].id)->failureReason().httpStatus, 404);
    EXPECT_FALSE(player.transfer(first[0].id)) << "a finished download is metered no more";

    const std::vector<IntakeOutcome> again = intake(player, {clip, broken});
    ASSERT_EQ(again.size(), 2u);
    EXPECT_EQ(again[0].kind, IntakeOutcome::Kind::AlreadyDownloaded);
    EXPECT_TRUE(QFileInfo::exists(again[0].file.toLocalFile())) << again[0].file.toString().toStdString();
    EXPECT_FALSE(again[0].fileGone);
    EXPECT_EQ(again[1].kind, IntakeOutcome::Kind::Retrying);
    EXPECT_EQ(again[1].id, first[2].id);

    player.shutDown();
    ASSERT_TRUE(spinUntil([&] { return events.stoppedCount == 1; }));
}
