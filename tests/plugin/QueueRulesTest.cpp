// The queue's order rules as every editor of the queue applies them.

#include "plugin/QueueRules.h"
#include "tests/support/FakeMediaLibrary.h"
#include "tests/support/TestHostContext.h"

#include <gtest/gtest.h>

using namespace Lumora;
using namespace LumoraTest;

namespace {

struct QueueRulesTest : ::testing::Test {
    QueueRulesTest()
    {
        library = new FakeMediaLibrary(&context);
        library->getPlaylist(MediaManagerInterface::DownloadPlaylistKind, 0, 0, playlist.receive());
    }
    ~QueueRulesTest() override
    {
        playlist = nullptr;
        library->release();
    }
    std::vector<uint64_t> ids(const std::vector<QueueRules::ItemPtr> &items) const
    {
        std::vector<uint64_t> out;
        for (const auto &item : items)
            out.push_back(item->id());
        return out;
    }

    TestHostContext context;
    FakeMediaLibrary *library = nullptr;
    lmtl::RefCountedPtr<MediaManagerInterface::PlaylistInterface> playlist;
};

} // namespace

TEST_F(QueueRulesTest, aNewItemGoesInFrontOfTheTrailingFinishedItems)
{
    EXPECT_EQ(QueueRules::insertionPoint(playlist.get(), 99), 0) << "an empty queue";
    library->addItem("http://h/q.mp4", Queued);
    library->addItem("http://h/c.mp4", Completed);
    library->addItem("http://h/f.mp4", Failed);
    EXPECT_EQ(QueueRules::insertionPoint(playlist.get(), 99), 1);

    auto fresh = library->addItem("http://h/new.mp4", Queued);  // already at the end: passed over
    EXPECT_EQ(QueueRules::insertionPoint(playlist.get(), fresh->id()), 1);
}

TEST_F(QueueRulesTest, aQueueOfFinishedItemsTakesTheNewItemAtTheHeadAndAFailedFetchPlacesNothing)
{
    library->addItem("http://h/c.mp4", Completed);
    library->addItem("http://h/f.mp4", Failed);
    EXPECT_EQ(QueueRules::insertionPoint(playlist.get(), 99), 0);
    library->state()->failItemAtIndex = 1;
    EXPECT_EQ(QueueRules::insertionPoint(playlist.get(), 99), std::nullopt);
}

TEST_F(QueueRulesTest, theFirstEligibleItemIsNextAndOnlyItemsOfKnownStatusesCount)
{
    library->addItem("http://h/done.mp4", Completed);
    library->addItem("http://h/odd.mp4", 0);
    library->addItem("http://h/beyond.mp4", 9);
    auto waiting = library->addItem("http://h/w.mp4", Waiting);
    library->addItem("http://h/q.mp4", Queued);
    EXPECT_EQ(QueueRules::firstEligible(playlist.get())->id(), waiting->id());
}

TEST_F(QueueRulesTest, clearingTakesCompletedItemsFromTheLastToTheFirst)
{
    auto a = library->addItem("http://h/a.mp4", Completed);
    library->addItem("http://h/f.mp4", Failed);
    auto b = library->addItem("http://h/b.mp4", Completed);
    EXPECT_EQ(ids(QueueRules::completedForClearing(playlist.get())), (std::vector<uint64_t>{b->id(), a->id()}));
}

TEST_F(QueueRulesTest, aNegativePositionIsTheEnd)
{
    library->addItem("http://h/a.mp4", Queued);
    library->addItem("http://h/b.mp4", Queued);
    EXPECT_EQ(QueueRules::resolvePosition(playlist.get(), -1), 2);
    EXPECT_EQ(QueueRules::resolvePosition(playlist.get(), 1), 1);
}
