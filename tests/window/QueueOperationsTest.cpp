// What each of the window's requests asks of the download manager, worked out on the queue as the
// library holds it when the request runs, and what comes back to the main thread.

#include "host/window/QueueOperations.h"

#include "host/lmrlibrary/OSUtilities.h"
#include "tests/support/TempHome.h"
#include "tests/window/WindowTestFixture.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>

using namespace Lumora;
using namespace Lumora::Window;
using ::testing::InSequence;
using ::testing::Return;

namespace {

class QueueOperationsTest : public LumoraTest::WindowPartsTest {};

} // namespace

TEST_F(QueueOperationsTest, movesAreWorkedOutOnTheLibrarysOrder)
{
    const ItemPtr a = add("a"), b = add("b"), c = add("c"), d = add("d");
    {
        InSequence order;
        EXPECT_CALL(manager, moveDownload(c->id(), 1)).WillOnce(Return(true));
        EXPECT_CALL(manager, moveDownload(b->id(), 2)).WillOnce(Return(true));
        EXPECT_CALL(manager, moveDownload(d->id(), 0)).WillOnce(Return(true));
        EXPECT_CALL(manager, moveDownload(a->id(), 3)).WillOnce(Return(true));
    }
    operations->moveUp({c->id()});
    operations->moveDown({b->id()});
    operations->moveToTop({d->id()});
    // Dropped past the end: the last place.
    operations->moveTo({a->id()}, 4);
}

TEST_F(QueueOperationsTest, retryGoesFromTheLastSoThatTheQueueKeepsTheTablesOrder)
{
    const ItemPtr a = add("a", Failed), b = add("b", Failed);
    InSequence order;
    EXPECT_CALL(manager, retryDownload(b->id()));
    EXPECT_CALL(manager, retryDownload(a->id()));
    operations->retry({a->id(), b->id()});
}

TEST_F(QueueOperationsTest, removeAsksTheManagerForEachDownloadAndSaysWhichCouldNotGo)
{
    // The manager takes a removed download's partial data with it (its own tests say so).
    const ItemPtr running = add("running", Downloading), done = add("done", Completed);
    EXPECT_CALL(manager, removeDownload(running->id())).WillOnce(Return(true));
    EXPECT_CALL(manager, removeDownload(done->id())).WillOnce(Return(false));
    QSignalSpy problems(operations.get(), &QueueOperations::problem);
    operations->remove({running->id(), done->id(), 999});
    LumoraTest::drainEvents();
    ASSERT_EQ(problems.size(), 1);
    EXPECT_EQ(problems[0][0].toString(), "“done” could not be removed from the queue.");
}

TEST_F(QueueOperationsTest, addReportsWhatBecameOfEachAddress)
{
    const ItemPtr queued = add("queued");
    QList<Host::IntakeOutcome> reported;
    QObject::connect(operations.get(), &QueueOperations::intakeReported, [&](const QList<Host::IntakeOutcome> &outcomes) { reported = outcomes; });
    operations->add({QUrl("http://h/new.mp4"), QUrl("http://h/queued.mp4")});
    LumoraTest::drainEvents();
    ASSERT_EQ(reported.size(), 2);
    EXPECT_EQ(reported[0].kind, Host::IntakeOutcome::Kind::Queued);
    EXPECT_EQ(reported[1].kind, Host::IntakeOutcome::Kind::AlreadyQueued);
    EXPECT_EQ(reported[1].id, queued->id());
    EXPECT_EQ(receiver.received, std::vector<QUrl>{QUrl("http://h/new.mp4")});
}

TEST_F(QueueOperationsTest, playThatMustWaitSaysWhenItWillStart)
{
    const ItemPtr early = add("early"), done = add("done", Completed);
    EXPECT_CALL(manager, playDownload(early->id())).WillOnce(Return(false));
    EXPECT_CALL(manager, playDownload(done->id())).WillOnce(Return(false));
    QSignalSpy deferred(operations.get(), &QueueOperations::playDeferred);
    QSignalSpy problems(operations.get(), &QueueOperations::problem);
    operations->play(early->id());
    operations->play(done->id());
    LumoraTest::drainEvents();
    ASSERT_EQ(deferred.size(), 1);
    EXPECT_EQ(deferred[0][0].toString(), "early");
    ASSERT_EQ(problems.size(), 1);
    EXPECT_EQ(problems[0][0].toString(), "“done” could not be played.");
}

TEST_F(QueueOperationsTest, resultsForAGoneWindowAreDropped)
{
    // An answer that arrives after the window went must not reach it.
    auto plugins = Host::LivePlugins{&manager, &receiver, library};
    std::vector<Host::Player::Operation> later;
    auto ops = std::make_unique<QueueOperations>([&later](Host::Player::Operation operation) { later.push_back(std::move(operation)); });
    ops->askPaused();
    ops.reset();
    EXPECT_CALL(manager, isPaused()).WillOnce(Return(true));
    for (auto &operation : later)
        operation(plugins);
    LumoraTest::drainEvents();
}
