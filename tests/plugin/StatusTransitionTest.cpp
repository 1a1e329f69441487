// The one status path: each route's stores, commits, announcements and moves, and the verbose line.

#include "host/lmrlibrary/VerboseLog.h"
#include "plugin/StatusTransition.h"
#include "plugin/Topics.h"
#include "tests/support/FakeMediaLibrary.h"
#include "tests/support/PubSubRecorder.h"
#include "tests/support/TestHostContext.h"

#include <gtest/gtest.h>

#include <QStringList>

using namespace Lumora;
using namespace LumoraTest;

namespace {

struct Keeper : QueueOrderKeeper {
    std::vector<uint64_t> moved;
    void moveToEnd(MediaManagerInterface::QueuedFileInterface *item) override { moved.push_back(item->id()); }
};

struct StatusTransition : ::testing::Test {
    StatusTransition()
    {
        library = new FakeMediaLibrary(&context);
        previousSink = VerboseLog::setSink([this](const QString &line) { lines << line; });
    }
    ~StatusTransition() override
    {
        VerboseLog::setSink(previousSink);
        library->release();
    }

    QStringList topics() const
    {
        QStringList t;
        for (const QString &topic : recorder.topics())
            t << topic;
        return t;
    }

    TestHostContext context;
    FakeMediaLibrary *library = nullptr;
    PubSubRecorder recorder;
    QStringList lines;
    VerboseLog::Sink previousSink;
    Keeper keeper;
};

const QString ItemChanged = QLatin1String(HubTopics::MediaItemChanged);
const QString StatusChanged = QLatin1String(HubTopics::DownloadStatusChanged);

} // namespace

TEST_F(StatusTransition, recordedStoresCommitsAnnouncesInOrderAndMovesFinishedItems)
{
    auto item = library->addItem("http://h/a.mp4", Downloading);
    EXPECT_TRUE(changeStatus(item.get(), Completed, StatusRoutes::Recorded, &keeper));
    EXPECT_EQ(item->committedStatus(), Completed);
    EXPECT_EQ(topics(), (QStringList{ItemChanged, StatusChanged}));
    EXPECT_EQ(keeper.moved, std::vector<uint64_t>{item->id()});
    EXPECT_EQ(lines, QStringList{QStringLiteral("%1: Downloading -> Completed").arg(item->id())});

    recorder.clear();
    EXPECT_TRUE(changeStatus(item.get(), Queued, StatusRoutes::Recorded, &keeper));
    EXPECT_EQ(keeper.moved.size(), 1u) << "only finished items move";
}

TEST_F(StatusTransition, recordedStopsAtARefusalWithoutAnnouncing)
{
    auto refusing = library->addItem("http://h/a.mp4", Queued);
    refusing->refuseSetStatus = true;
    EXPECT_FALSE(changeStatus(refusing.get(), Failed, StatusRoutes::Recorded, &keeper));
    auto uncommitted = library->addItem("http://h/b.mp4", Queued);
    uncommitted->refuseCommit = true;
    EXPECT_FALSE(changeStatus(uncommitted.get(), Failed, StatusRoutes::Recorded, &keeper));
    EXPECT_TRUE(topics().isEmpty());
    EXPECT_TRUE(keeper.moved.empty());
}

TEST_F(StatusTransition, theQuietRoutesKeepTheirOwnCommitPointsAndAnnouncements)
{
    auto stored = library->addItem("http://h/a.mp4", Failed);
    const int commitsBefore = stored->commits;
    EXPECT_TRUE(changeStatus(stored.get(), Queued, StatusRoutes::Stored));
    EXPECT_EQ(stored->commits, commitsBefore + 1);
    EXPECT_EQ(stored->committedStatus(), Queued);

    auto marked = library->addItem("http://h/b.mp4", Downloading);
    const int markedCommits = marked->commits;
    EXPECT_TRUE(changeStatus(marked.get(), Queued, StatusRoutes::Marked));
    EXPECT_EQ(marked->status(), Queued);
    EXPECT_EQ(marked->commits, markedCommits) << "a pause's change is committed when the run is recorded";
    EXPECT_TRUE(topics().isEmpty());

    auto reported = library->addItem("http://h/c.mp4", Downloading);
    reported->refuseSetStatus = true;
    EXPECT_FALSE(changeStatus(reported.get(), Failed, StatusRoutes::Reported));
    EXPECT_EQ(topics(), QStringList{ItemChanged}) << "the failure report is announced even when the item refuses";
}

TEST_F(StatusTransition, onlyRealChangesAreLogged)
{
    auto item = library->addItem("http://h/a.mp4", Queued);
    changeStatus(item.get(), Queued, StatusRoutes::Stored);
    changeStatus(item.get(), Downloading, StatusRoutes::Stored);
    changeStatus(item.get(), Downloading, StatusRoutes::Recorded, &keeper);
    EXPECT_EQ(lines, QStringList{QStringLiteral("%1: Queued -> Downloading").arg(item->id())});
    EXPECT_FALSE(changeStatus(nullptr, Queued, StatusRoutes::Stored));
}

TEST_F(StatusTransition, aFailureReasonIsStoredWithTheFailureAndClearedWhenTheItemGoesAgain)
{
    auto item = library->addItem("http://h/a.mp4", Downloading);
    const FailureReason notFound = FailureReason::http(404, QStringLiteral("h"));
    EXPECT_TRUE(changeStatus(item.get(), Failed, StatusRoutes::Recorded, &keeper, &notFound));
    EXPECT_EQ(item->committedFailureReason(), notFound);
    EXPECT_EQ(lines.last(), QStringLiteral("%1: Downloading -> Failed (404 Not Found (h))").arg(item->id()));

    // A reason its maker put on the item stays when the status comes without one.
    auto other = library->addItem("http://h/b.mp4", Downloading);
    other->setFailureReason(FailureReason::of(FailureKind::DiskFull));
    EXPECT_TRUE(changeStatus(other.get(), Failed, StatusRoutes::Recorded, &keeper));
    EXPECT_EQ(other->committedFailureReason().kind, FailureKind::DiskFull);

    EXPECT_TRUE(changeStatus(item.get(), Queued, StatusRoutes::Stored));
    EXPECT_FALSE(item->committedFailureReason().isSet());
}
