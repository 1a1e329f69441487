// The queue table following what the player reports: the playlist's order (rows added, moved,
// removed, keeping their selection), item and status changes with their failure reasons, the pause,
// the running downloads' bytes and speed, and drops, checked by Qt's own model tester throughout.

#include "host/window/QueueModel.h"

#include "plugin/InterfaceNames.h"
#include "tests/support/FakeMediaLibrary.h"
#include "tests/support/TestHostContext.h"
#include "tests/window/WindowTestSupport.h"

#include <QAbstractItemModelTester>
#include <QItemSelectionModel>
#include <QMimeData>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Lumora;
using namespace Lumora::Window;

namespace {

TransferState transfer(uint64_t received, uint64_t total, int64_t readAt)
{
    TransferState state;
    state.received = received;
    state.total = total;
    state.readAt = readAt;
    return state;
}

class QueueModelTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = new LumoraTest::FakeMediaLibrary(&context);
        context.addInstance(library, context.describe("library", {VSE::InterfaceNames::MediaManagerText}));
    }

    ItemPtr add(const QString &name, DownloadStatusValue status = Queued)
    {
        return ItemPtr(library->addItem(QStringLiteral("http://h/%1.mp4").arg(name), status).get());
    }

    std::vector<ItemPtr> queue(std::initializer_list<ItemPtr> items) { return std::vector<ItemPtr>(items); }

    QString cell(int row, int column, int role = Qt::DisplayRole) const
    {
        return model.data(model.index(row, column), role).toString();
    }

    std::vector<uint64_t> ids(std::initializer_list<ItemPtr> items) const
    {
        std::vector<uint64_t> out;
        for (const ItemPtr &item : items)
            out.push_back(item->id());
        return out;
    }

    LumoraTest::TestHostContext context;
    LumoraTest::FakeMediaLibrary *library = nullptr;
    QueueModel model;
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
};

} // namespace

TEST_F(QueueModelTest, rowsFollowTheQueueOrderAndKeepTheirSelection)
{
    const ItemPtr a = add("a"), b = add("b"), c = add("c"), d = add("d");
    model.setOrder(queue({a, b, c}));
    ASSERT_EQ(model.order(), ids({a, b, c}));
    EXPECT_EQ(cell(1, QueueModel::TitleColumn), "b");
    EXPECT_EQ(cell(1, QueueModel::SourceColumn), "http://h/b.mp4");

    QItemSelectionModel selection(&model);
    selection.select(model.index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);

    // Moved: b goes to the end, still selected.
    model.setOrder(queue({c, a, b}));
    EXPECT_EQ(model.order(), ids({c, a, b}));
    ASSERT_EQ(selection.selectedRows().size(), 1);
    EXPECT_EQ(selection.selectedRows()[0].row(), 2);

    // Removed and added at once: a leaves, d arrives in its place in the queue.
    model.setOrder(queue({c, d, b}));
    EXPECT_EQ(model.order(), ids({c, d, b}));
    EXPECT_EQ(cell(1, QueueModel::TitleColumn), "d");
    EXPECT_EQ(selection.selectedRows()[0].row(), 2);
    EXPECT_EQ(model.rowOf(a->id()), -1);

    // Removed ahead of the list change that follows, once the burst of removals has come.
    model.remove(c->id());
    model.remove(b->id());
    EXPECT_EQ(model.rowCount(), 3);
    LumoraTest::drainEvents();
    EXPECT_EQ(model.order(), ids({d}));
    model.setOrder({});
    EXPECT_EQ(model.rowCount(), 0);
}

TEST_F(QueueModelTest, statusChangesShowTheStatusAndWhyADownloadFailed)
{
    const ItemPtr a = add("a"), b = add("b");
    model.setOrder(queue({a, b}));
    QSignalSpy finished(&model, &QueueModel::downloadFinished);
    EXPECT_EQ(cell(0, QueueModel::StatusColumn), "Queued");

    a->setFailureReason(FailureReason::http(404, QStringLiteral("h")));
    a->setStatus(Failed);
    EXPECT_TRUE(model.refresh(a->id()));
    EXPECT_EQ(cell(0, QueueModel::StatusColumn), QStringLiteral("Failed: %1").arg(FailureReason::http(404, "h").shortMessage()));
    EXPECT_TRUE(cell(0, QueueModel::StatusColumn, Qt::ToolTipRole).contains(FailureReason::http(404, "h").message()));
    ASSERT_EQ(finished.size(), 1);
    EXPECT_EQ(finished[0][0].value<uint64_t>(), a->id());
    EXPECT_EQ(finished[0][1].toInt(), Failed);

    b->setSize(4096);
    b->setStatus(Completed);
    model.refresh(b->id());
    EXPECT_EQ(cell(1, QueueModel::StatusColumn), "Completed");
    EXPECT_EQ(model.data(model.index(1, QueueModel::ProgressColumn), QueueModel::PercentRole).toInt(), 100);
    EXPECT_EQ(cell(1, QueueModel::SizeColumn), "4.00 KiB");
    EXPECT_EQ(finished.size(), 2);

    // An attribute change that leaves the status as it was is no new ending.
    b->setTitle(QStringLiteral("renamed"));
    model.refresh(b->id());
    EXPECT_EQ(cell(1, QueueModel::TitleColumn), "renamed");
    EXPECT_EQ(finished.size(), 2);
    EXPECT_FALSE(model.refresh(9999));

    const QueueModel::Counts counts = model.counts();
    EXPECT_EQ(counts.total, 2);
    EXPECT_EQ(counts.failed, 1);
    EXPECT_EQ(counts.completed, 1);
}

TEST_F(QueueModelTest, pauseAndKeptBytesShowAsPaused)
{
    const ItemPtr fresh = add("fresh"), stopped = add("stopped"), done = add("done", Completed);
    stopped->setSize(1000);
    stopped->setProgress(40);
    static_cast<LumoraTest::FakeQueuedFile *>(stopped.get())->freshStart = false;
    model.setOrder(queue({fresh, stopped, done}));
    EXPECT_EQ(cell(0, QueueModel::StatusColumn), "Queued");
    EXPECT_EQ(cell(1, QueueModel::StatusColumn), "Paused");
    EXPECT_EQ(cell(1, QueueModel::SizeColumn), "400 B of 1000 B");
    EXPECT_EQ(model.data(model.index(1, QueueModel::ProgressColumn), QueueModel::PercentRole).toInt(), 40);

    model.setPaused(true);
    EXPECT_EQ(cell(0, QueueModel::StatusColumn), "Paused");
    EXPECT_EQ(cell(2, QueueModel::StatusColumn), "Completed");
    model.setPaused(false);
    EXPECT_EQ(cell(0, QueueModel::StatusColumn), "Queued");
}

TEST_F(QueueModelTest, tickReadsTheRunningTransfersForBytesSpeedAndTimeLeft)
{
    const ItemPtr running = add("running"), waiting = add("waiting");
    running->setSize(1000);
    running->setStatus(Downloading);
    running->setTransferState(transfer(100, 1000, 1000));
    model.setOrder(queue({running, waiting}));
    EXPECT_EQ(cell(0, QueueModel::StatusColumn), "Downloading");
    EXPECT_EQ(cell(0, QueueModel::SizeColumn), "100 B of 1000 B");
    EXPECT_EQ(cell(0, QueueModel::SpeedColumn), "-");

    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    running->setTransferState(transfer(300, 1000, 2000));
    // A download that does not run is not read, whatever its item says.
    waiting->setTransferState(transfer(999, 1000, 2000));
    model.tick();
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0][0].toModelIndex().row(), 0);
    EXPECT_EQ(cell(0, QueueModel::SpeedColumn), "200 B/s");
    EXPECT_EQ(cell(0, QueueModel::TimeLeftColumn), "4s");
    EXPECT_EQ(cell(0, QueueModel::ProgressColumn), "30%");
    EXPECT_EQ(cell(1, QueueModel::SizeColumn), "");
    EXPECT_DOUBLE_EQ(model.counts().bytesPerSecond, 200.0);

    // Nothing new: nothing is announced.
    model.tick();
    EXPECT_EQ(changed.size(), 1);

    // The engine waits to try again: the row says so, and why.
    TransferState retrying = transfer(300, 1000, 3000);
    retrying.tries = 1;
    retrying.maxTries = 3;
    retrying.retryInMs = 2000;
    retrying.retrying = FailureReason::of(FailureKind::ConnectionLost, "h");
    running->setTransferState(retrying);
    model.tick();
    EXPECT_EQ(cell(0, QueueModel::StatusColumn), "Retrying in 2s");
    EXPECT_TRUE(cell(0, QueueModel::StatusColumn, Qt::ToolTipRole).contains(retrying.retrying.message()));

    running->setStatus(Completed);
    model.refresh(running->id());
    EXPECT_EQ(cell(0, QueueModel::SpeedColumn), "");
    EXPECT_EQ(model.counts().running, 0);
}

TEST_F(QueueModelTest, droppedRowsAskForAMoveAndDroppedLinksForQueueing)
{
    const ItemPtr a = add("a"), b = add("b"), c = add("c");
    model.setOrder(queue({a, b, c}));
    QSignalSpy moves(&model, &QueueModel::moveRequested);
    QSignalSpy dropped(&model, &QueueModel::addressesDropped);

    std::unique_ptr<QMimeData> rows(model.mimeData({model.index(2, 0), model.index(0, 1), model.index(2, 3)}));
    EXPECT_EQ(rows->text(), "http://h/a.mp4\nhttp://h/c.mp4");
    EXPECT_TRUE(model.dropMimeData(rows.get(), Qt::MoveAction, -1, -1, model.index(1, 0)));
    ASSERT_EQ(moves.size(), 1);
    EXPECT_EQ(moves[0][0].value<QList<quint64>>(), (QList<quint64>{a->id(), c->id()}));
    EXPECT_EQ(moves[0][1].toInt(), 1);
    // Nothing moves until the download manager says so, and the drag's source keeps its rows.
    EXPECT_EQ(model.order(), ids({a, b, c}));
    EXPECT_FALSE(model.removeRows(0, 1));

    EXPECT_TRUE(model.dropMimeData(rows.get(), Qt::MoveAction, -1, -1, QModelIndex()));
    EXPECT_EQ(moves[1][1].toInt(), 3);

    QMimeData links;
    links.setUrls({QUrl("http://x/1.mp4"), QUrl("http://x/2.mp4")});
    EXPECT_TRUE(model.dropMimeData(&links, Qt::CopyAction, 0, 0, QModelIndex()));
    ASSERT_EQ(dropped.size(), 1);
    EXPECT_EQ(dropped[0][0].toStringList(), (QStringList{"http://x/1.mp4", "http://x/2.mp4"}));
    EXPECT_EQ(moves.size(), 2);
}

TEST_F(QueueModelTest, clearLetsGoOfEveryItem)
{
    const ItemPtr a = add("a");
    model.setOrder(queue({a}));
    const int held = a->getRefCount();
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(a->getRefCount(), held - 1);
}
