// What the manager asks of the worker about partial data and unfinished runs: a download that
// leaves the queue takes its partial data with it, and a start first finishes what a crash left
// and then clears stray partial files, keeping those of the queue.

#include "tests/downloadmanager/ManagerFixture.h"

using namespace LumoraTest;
using namespace Lumora;

namespace {

struct PartialData : ManagerFixture {};

} // namespace

TEST_F(PartialData, aStartFinishesInterruptedRunsThenKeepsOnlyTheQueuesPartialFiles)
{
    auto finishing = library->addItem("http://h/finishing.mp4", Completed);
    finishing->setPendingFinish("/tmp/engine/finishing.mp4");
    auto queued = library->addItem("http://u:p@h/queued.mp4", Queued);
    library->addItem("http://h/done.mp4", Completed);
    build();
    EXPECT_EQ(worker.load()->interruptedFinishes, std::vector<uint64_t>{finishing->id()});
    const std::vector<QUrl> kept = worker.load()->strayCleaningSources;
    EXPECT_EQ(kept.size(), 3u);
    EXPECT_NE(std::find(kept.begin(), kept.end(), queued->sourceUrl()), kept.end());
}

TEST_F(PartialData, aDownloadThatLeavesTheQueueTakesItsPartialDataWithIt)
{
    auto removed = library->addItem("http://h/removed.mp4", Failed);
    auto cleared = library->addItem("http://h/cleared.mp4", Completed);
    library->addItem("http://h/stays.mp4", Queued);
    build();
    ASSERT_TRUE(manager->removeDownload(removed->id()));
    manager->clearCompletedDownloads();
    const std::vector<QUrl> discarded = worker.load()->discarded;
    EXPECT_EQ(discarded, (std::vector<QUrl>{removed->sourceUrl(), cleared->sourceUrl()}));
}
