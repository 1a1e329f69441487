// Commands handed to a running player: dispatched through the command table to the command's
// handler, against a stand-in for the player, a mock download manager and the in-memory library.

#include "host/cli/HandOver.h"

#include "host/cli/CommandLine.h"
#include "plugin/DownloadManagerInterface.h"
#include "plugin/InterfaceNames.h"
#include "plugin/SettingKeys.h"
#include "tests/support/FakeMediaLibrary.h"
#include "tests/support/MockDownloadManager.h"
#include "tests/support/TempHome.h"
#include "tests/support/TestHostContext.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <optional>

using namespace Lumora;
using namespace Lumora::Cli;
using ::testing::NiceMock;
using ::testing::Return;

namespace {

// What goes back to the asking lumora.
struct RecordedReply : Host::CommandReply {
    QStringList out;
    QStringList err;
    QString text;
    std::optional<int> exit;
    bool retry = false;

    void message(const QString &line) override { out << line; }
    void error(const QString &line) override { err << line; }
    void data(const QString &given) override { text += given; }
    void finish(int exitCode) override { exit = exitCode; }
    void retryLater() override { retry = true; }
};

// The running player as a handed-over command sees it; operations run at once, on the test's thread.
struct StandInPlayer : RunningPlayer {
    bool isStopping = false;
    bool managerDown = false;
    int submitted = 0;
    int mediaFolderApplied = 0;
    std::vector<std::shared_ptr<Host::CommandReply>> idleWaiters;
    Host::LivePlugins plugins;

    bool stopping() const override { return isStopping; }
    void submit(Host::Player::Operation operation, std::function<void()> whenDown) override
    {
        ++submitted;
        if (!managerDown)
            operation(plugins);
        else if (whenDown)
            whenDown();
    }
    void applyMediaFolder() override { ++mediaFolderApplied; }
    void waitForIdle(std::shared_ptr<Host::CommandReply> reply) override { idleWaiters.push_back(std::move(reply)); }
    void follow(std::vector<uint64_t> ids, std::vector<uint64_t>, std::shared_ptr<Host::CommandReply> reply,
                int refused) override
    {
        followed.push_back({std::move(ids), std::move(reply), refused});
    }
    void tell(const QString &line) override { told << line; }

    struct Followed {
        std::vector<uint64_t> ids;
        std::shared_ptr<Host::CommandReply> reply;
        int refused;
    };
    std::vector<Followed> followed;
    QStringList told;
};

class HandOverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = new LumoraTest::FakeMediaLibrary(&context);
        context.addInstance(library, context.describe("library", {VSE::InterfaceNames::MediaManagerText}));
        player.plugins = {&manager, nullptr, library};
    }

    std::shared_ptr<RecordedReply> handedOver(const QStringList &args, const QString &cwd = QString())
    {
        auto reply = std::make_shared<RecordedReply>();
        handOver(player, args, cwd, reply);
        return reply;
    }

    LumoraTest::TestHostContext context;
    LumoraTest::FakeMediaLibrary *library = nullptr;
    NiceMock<LumoraTest::MockDownloadManager> manager;
    StandInPlayer player;
};

} // namespace

TEST_F(HandOverTest, queueCommandGoesToItsLiveHandlerThroughTheOperationQueue)
{
    EXPECT_CALL(manager, isPaused()).WillOnce(Return(false));
    EXPECT_CALL(manager, pauseAll()).Times(1);
    const auto paused = handedOver({"pause"});
    EXPECT_EQ(player.submitted, 1);
    EXPECT_EQ(paused->exit, ExitOk);
    EXPECT_EQ(paused->out, QStringList{"paused: the running download is kept and goes on after \"lumora resume\""});

    const uint64_t id = library->addItem("http://h/a.mp4", Completed)->id();
    const auto listed = handedOver({"list", "--json"});
    EXPECT_EQ(player.submitted, 2);
    EXPECT_EQ(listed->exit, ExitOk);
    const QJsonArray rows = QJsonDocument::fromJson(listed->text.toUtf8()).array();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].toObject().value("id").toInteger(), static_cast<qint64>(id));
    EXPECT_EQ(rows[0].toObject().value("status").toString(), downloadStatusName(Completed));
}

TEST_F(HandOverTest, liveHandlersKeepTheQueueRules)
{
    const uint64_t done = library->addItem("http://h/done.mp4", Completed)->id();
    const uint64_t failed = library->addItem("http://h/failed.mp4", Failed)->id();
    EXPECT_CALL(manager, retryDownload(done)).Times(0);
    EXPECT_CALL(manager, retryDownload(failed)).Times(1);

    const auto refused = handedOver({"retry", QString::number(done)});
    EXPECT_EQ(refused->exit, ExitFailed);
    ASSERT_EQ(refused->err.size(), 1);
    EXPECT_TRUE(refused->err[0].contains("only a failed download can be retried")) << refused->err[0].toStdString();
    EXPECT_EQ(handedOver({"retry", QString::number(failed)})->exit, ExitOk);

    EXPECT_CALL(manager, moveDownload(failed, -1)).WillOnce(Return(true));
    const auto moved = handedOver({"move", QString::number(failed), "end"});
    EXPECT_EQ(moved->exit, ExitOk);
    // Where it went is read back from the queue, not repeated from the command line.
    EXPECT_EQ(moved->out.value(0), QStringLiteral("moved [%1] %2 to position 1, the end of the queue")
                                       .arg(failed)
                                       .arg(library->item(failed)->title()));
    EXPECT_EQ(handedOver({"remove", "999"})->err, QStringList{"lumora: there is no download 999 (see \"lumora list\")"});
}

TEST_F(HandOverTest, stoppingPlayerSendsTheAskerBackToTryAgain)
{
    player.isStopping = true;
    const auto whileStopping = handedOver({"list"});
    EXPECT_TRUE(whileStopping->retry);
    EXPECT_FALSE(whileStopping->exit);
    EXPECT_EQ(player.submitted, 0);

    // Between the start of the shutdown and the manager going down, queued operations give way too.
    player.isStopping = false;
    player.managerDown = true;
    EXPECT_CALL(manager, pauseAll()).Times(0);
    EXPECT_TRUE(handedOver({"pause"})->retry);
    EXPECT_TRUE(handedOver({"get", "http://h/a.mp4"})->retry);
}

TEST_F(HandOverTest, usageErrorsAndLocalCommandsAreAnsweredAtOnce)
{
    const auto wrong = handedOver({"move", "x", "1"});
    EXPECT_EQ(wrong->exit, ExitUsage);
    EXPECT_EQ(wrong->err, QStringList{"lumora: \"x\" is not a download id (see \"lumora list\")"});
    for (const char *local : {"help", "version", "demo"}) {
        const auto reply = handedOver({local});
        EXPECT_EQ(reply->exit, ExitUsage) << local;
        EXPECT_EQ(reply->err, QStringList{QStringLiteral("lumora: \"%1\" is not handed to a running player").arg(local)});
    }
    const auto badAddress = handedOver({"get", "http://h/a.mp4", "clip.mp4"});
    EXPECT_EQ(badAddress->exit, ExitUsage);
    EXPECT_TRUE(badAddress->err.value(0).startsWith("lumora: clip.mp4: not an address"));
    EXPECT_EQ(player.submitted, 0);
}

TEST_F(HandOverTest, runAndConfigAreAnsweredByThePlayerItself)
{
    const auto running = handedOver({"run"});
    EXPECT_EQ(running->exit, ExitOk);
    EXPECT_TRUE(running->out.value(0).startsWith("a lumora is already downloading for this home (pid "));
    const auto waiting = handedOver({"run", "--until-idle"});
    EXPECT_FALSE(waiting->exit);  // answered once the queue is idle
    ASSERT_EQ(player.idleWaiters.size(), 1u);
    EXPECT_EQ(player.idleWaiters[0], waiting);

    // A relative media folder is the asker's, not the player's.
    LumoraTest::TempHome home;
    const auto set = handedOver({"config", "set", SettingKeys::MediaFolder, "films"}, home.path());
    EXPECT_EQ(set->exit, ExitOk);
    EXPECT_EQ(set->out, QStringList{QStringLiteral("%1 = %2/films").arg(SettingKeys::MediaFolder, home.path())});
    EXPECT_EQ(player.mediaFolderApplied, 1);
    EXPECT_EQ(handedOver({"config", "set", SettingKeys::ResumeDownloadsOnStartup, "no"})->exit, ExitOk);
    EXPECT_EQ(player.mediaFolderApplied, 1);
    EXPECT_EQ(player.submitted, 0);
}

TEST_F(HandOverTest, aHandedOverGetIsFollowedUnlessDetached)
{
    const uint64_t known = library->addItem("http://h/known.mp4", Queued)->id();
    EXPECT_CALL(manager, findDownload(::testing::_, ::testing::_))
        .WillRepeatedly([this, known](const QUrl &, MediaManagerInterface::QueuedFileInterface **out) {
            library->getItem(known, out);
            return true;
        });
    const auto followed = handedOver({"get", "http://h/known.mp4", "http://h/known.mp4"});
    EXPECT_FALSE(followed->exit) << "answered before its download ended";
    ASSERT_EQ(player.followed.size(), 1u);
    EXPECT_EQ(player.followed[0].ids, std::vector<uint64_t>{known});  // the same download named twice is one
    EXPECT_EQ(player.followed[0].reply, followed);
    ASSERT_EQ(player.told.size(), 1);
    EXPECT_TRUE(player.told[0].contains("handed over 2 address(es): 1 download(s) to follow")) << player.told[0].toStdString();

    const auto detached = handedOver({"get", "--detach", "--limit-rate", "1M", "http://h/known.mp4"});
    EXPECT_EQ(detached->exit, ExitOk);
    EXPECT_EQ(player.followed.size(), 1u);
    EXPECT_TRUE(detached->out.join('\n').contains("the running player keeps its rate")) << detached->out.join('\n').toStdString();
}
