// Handed-over "run --until-idle" commands end alike whichever face is the player: when the queue is
// idle or paused, with the status of what failed while they waited, or sent back when it stops.

#include "host/player/IdleWaiters.h"

#include "host/player/ExitCode.h"

#include <gtest/gtest.h>

#include <optional>

using namespace Lumora;
using namespace Lumora::Host;

namespace {

struct Reply : CommandReply {
    QStringList lines;
    std::optional<int> exit;
    bool sentBack = false;

    void message(const QString &line) override { lines << line; }
    void error(const QString &line) override { lines << line; }
    void data(const QString &text) override { lines << text; }
    void finish(int code) override { exit = code; }
    void retryLater() override { sentBack = true; }
};

} // namespace

TEST(IdleWaiters, endWhenTheQueueIsIdleOrPausedWithTheStatusOfWhatFailedMeanwhile)
{
    IdleWaiters waiters;
    auto early = std::make_shared<Reply>();
    waiters.add(early);
    waiters.failed(FailureReason::http(404, QStringLiteral("h")));
    auto late = std::make_shared<Reply>();
    waiters.add(late);
    waiters.failed(FailureReason::of(FailureKind::ConnectionRefused, QStringLiteral("h")));

    waiters.answer(true, false);  // still downloading: nobody ends
    EXPECT_FALSE(early->exit);
    EXPECT_FALSE(waiters.empty());

    waiters.answer(true, true);
    EXPECT_EQ(early->exit, combineExit(ExitServerError, ExitNetwork));
    EXPECT_EQ(late->exit, ExitNetwork);  // only what failed after it came counts
    EXPECT_EQ(early->lines, QStringList{QStringLiteral("the queue is paused")});
    EXPECT_TRUE(waiters.empty());

    auto clean = std::make_shared<Reply>();
    waiters.add(clean);
    waiters.answer(false, false);
    EXPECT_EQ(clean->exit, ExitOk);
    EXPECT_EQ(clean->lines, QStringList{QStringLiteral("the queue is idle")});
}

TEST(IdleWaiters, aStoppingPlayerSendsEachAskerBackToTryAgain)
{
    IdleWaiters waiters;
    auto reply = std::make_shared<Reply>();
    waiters.add(reply);
    waiters.handBack();
    EXPECT_TRUE(reply->sentBack);
    EXPECT_FALSE(reply->exit);
    EXPECT_TRUE(waiters.empty());
}
