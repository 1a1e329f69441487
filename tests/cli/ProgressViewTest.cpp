// What the user sees of a running download: the bytes and speed of the transfer itself (not worked
// out from a whole-number percent), the engine's wait before it tries again, the reason of a
// failure, and for a follower only its own downloads.

#include "host/cli/ProgressView.h"

#include "plugin/InterfaceNames.h"
#include "tests/support/FakeMediaLibrary.h"
#include "tests/support/TestHostContext.h"

#include <gtest/gtest.h>

using namespace Lumora;
using Lumora::Cli::ProgressFigures;
using Lumora::Cli::ProgressView;
using Lumora::Host::TransferMeters;
using Lumora::Host::TransferReading;

namespace {

constexpr uint64_t MiB = 1024 * 1024;

struct RecordedOutput : Host::Output {
    bool terminal = false;
    QStringList out;
    QStringList err;
    QStringList block;
    void message(const QString &line) override { out << line; }
    void error(const QString &line) override { err << line; }
    void data(const QString &) override {}
    bool isTerminal() const override { return terminal; }
    int terminalWidth() const override { return 200; }
    void setProgress(const QStringList &lines) override { block = lines; }
};

class ProgressViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        library = new LumoraTest::FakeMediaLibrary(&context);
        context.addInstance(library, context.describe("library", {VSE::InterfaceNames::MediaManagerText}));
    }

    std::unique_ptr<ProgressView> viewOn(RecordedOutput &output)
    {
        return std::make_unique<ProgressView>(
            output, [this](uint64_t id) { return ProgressView::ItemPtr(library->item(id).get()); },
            [this](uint64_t id) { return meters.reading(id); });
    }

    LumoraTest::TestHostContext context;
    LumoraTest::FakeMediaLibrary *library = nullptr;
    TransferMeters meters;
};

TransferState stateAt(uint64_t received, uint64_t total, int64_t at)
{
    TransferState state;
    state.received = received;
    state.total = total;
    state.readAt = at;
    return state;
}

} // namespace

TEST(ProgressView, terminalLinesFitTheWidthAndKeepTheFigures)
{
    const QString title = QString("a rather long title of a video that goes on and on").repeated(2);
    ProgressFigures figures;
    figures.percent = 51;
    figures.received = 2138046;  // 2.04 MiB
    figures.total = 4 * MiB;
    figures.bytesPerSecond = 2.5 * MiB;
    figures.remainingMs = 61000;
    for (int width : {80, 100, 132, 250}) {
        const QString line = ProgressView::progressLine(12, title, figures, width);
        EXPECT_LT(line.size(), width) << width;
        EXPECT_TRUE(line.startsWith("[12] a rather")) << line.toStdString();
        EXPECT_TRUE(line.contains(" 51%  2.04 MiB/4.00 MiB  2.50 MiB/s  ETA 1m01s")) << line.toStdString();
    }
    // A bar only where there is room for one.
    ProgressFigures half;
    half.percent = 50;
    half.total = 100;
    EXPECT_FALSE(ProgressView::progressLine(1, "clip", half, 40).contains("[="));
    EXPECT_TRUE(ProgressView::progressLine(1, "clip", half, 120).contains("[==========>"));
    half.percent = 100;
    EXPECT_TRUE(ProgressView::progressLine(1, "clip", half, 120).contains("====]"));
}

TEST(ProgressView, plainLinesCarryTheWholeTitle)
{
    ProgressFigures figures;
    figures.percent = 7;
    figures.received = 1536;
    EXPECT_EQ(ProgressView::progressLine(3, "clip one", figures, 0), "[3] clip one    7%  1.50 KiB  -  ETA -");
}

TEST_F(ProgressViewTest, bytesSpeedAndTimeLeftComeFromTheTransferFromTheFirstSecondOn)
{
    // 2 GiB arriving at 4 MiB/s: after one second the item's whole-number percent is still 0.
    const auto item = library->addItem("http://h/big.mp4", Downloading);
    item->setSize(2048 * MiB);
    meters.sample(item->id(), stateAt(0, 2048 * MiB, 10000));
    meters.sample(item->id(), stateAt(2 * MiB, 2048 * MiB, 10500));
    meters.sample(item->id(), stateAt(4 * MiB, 2048 * MiB, 11000));
    ASSERT_EQ(item->progress(), 0);

    const ProgressFigures figures = ProgressView::figuresOf(item.get(), meters.reading(item->id()));
    EXPECT_EQ(figures.received, 4 * MiB);
    EXPECT_DOUBLE_EQ(figures.bytesPerSecond, 4.0 * MiB);
    EXPECT_EQ(figures.remainingMs, 511000u);  // 2044 MiB at 4 MiB/s
    const QString line = ProgressView::progressLine(item->id(), "big", figures, 0);
    EXPECT_TRUE(line.contains("4.00 MiB/2.00 GiB  4.00 MiB/s  ETA 8m31s")) << line.toStdString();

    // Without a transfer reading (a list read from the library) the percent is all there is.
    item->setProgress(50);
    EXPECT_EQ(ProgressView::figuresOf(item.get(), std::nullopt).received, 1024 * MiB);
}

TEST_F(ProgressViewTest, theEngineWaitingToRetryIsShownInsteadOfASpeed)
{
    const auto item = library->addItem("http://h/flaky.mp4", Downloading);
    TransferState state = stateAt(10 * MiB, 100 * MiB, 5000);
    meters.sample(item->id(), state);
    state.readAt = 6000;
    state.received = 12 * MiB;
    state.tries = 3;
    state.maxTries = 10;
    state.retryInMs = 3500;
    state.retrying = FailureReason::of(FailureKind::ConnectionLost, "h");
    meters.sample(item->id(), state);

    const std::optional<TransferReading> reading = meters.reading(item->id());
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->bytesPerSecond, 0.0) << "a waiting transfer moves nothing";
    const QString line = ProgressView::progressLine(item->id(), "flaky", ProgressView::figuresOf(item.get(), reading), 0);
    EXPECT_TRUE(line.contains("12.0 MiB/100 MiB  retrying in 4 s: " + state.retrying.message() + " (try 3 of 10)"))
        << line.toStdString();
    EXPECT_FALSE(line.contains("ETA"));
}

TEST_F(ProgressViewTest, aFailureSaysWhyAndAFollowerSeesOnlyItsOwnDownloads)
{
    const auto mine = library->addItem("http://h/mine.mp4", Queued);
    const auto other = library->addItem("http://h/other.mp4", Queued);
    RecordedOutput output;
    const auto view = viewOn(output);
    view->follow({mine->id()});

    other->setStatus(Downloading);
    view->statusChanged(other->id(), true);
    EXPECT_TRUE(output.out.isEmpty()) << output.out.join('\n').toStdString();

    mine->setStatus(Downloading);
    view->statusChanged(mine->id(), true);
    ASSERT_EQ(output.out.size(), 1);
    EXPECT_TRUE(output.out[0].startsWith(QStringLiteral("downloading [%1]").arg(mine->id())));

    mine->setFailureReason(FailureReason::http(404, "example.org"));
    mine->setStatus(Failed);
    view->statusChanged(mine->id(), true);
    ASSERT_EQ(output.err.size(), 1);
    EXPECT_TRUE(output.err[0].endsWith("failed: 404 Not Found (example.org)")) << output.err[0].toStdString();
    view->stop();
}

TEST_F(ProgressViewTest, aFollowerJoiningLateIsToldWhatItMissed)
{
    // Ended between the intake and the following: still news. Downloaded long before: not again.
    const auto failedMeanwhile = library->addItem("http://h/gone.mp4", Failed);
    failedMeanwhile->setFailureReason(FailureReason::http(404, "example.org"));
    const auto doneBefore = library->addItem("http://h/old.mp4", Completed);
    RecordedOutput output;
    const auto view = viewOn(output);
    view->follow({failedMeanwhile->id(), doneBefore->id()}, {doneBefore->id()});
    ASSERT_EQ(output.err.size(), 1);
    EXPECT_TRUE(output.err[0].endsWith("failed: 404 Not Found (example.org)")) << output.err[0].toStdString();
    EXPECT_TRUE(output.out.isEmpty()) << output.out.join('\n').toStdString();
    view->stop();
}

TEST_F(ProgressViewTest, aFollowerJoiningARunningDownloadIsToldItRuns)
{
    const auto running = library->addItem("http://h/running.mp4", Downloading);
    meters.sample(running->id(), stateAt(MiB, 8 * MiB, 1000));
    RecordedOutput output;
    output.terminal = true;
    const auto view = viewOn(output);
    view->follow({running->id()});
    ASSERT_EQ(output.out.size(), 1);
    EXPECT_TRUE(output.out[0].startsWith("downloading"));
    ASSERT_EQ(output.block.size(), 1);
    EXPECT_TRUE(output.block[0].contains("1.00 MiB/8.00 MiB")) << output.block[0].toStdString();
    view->stop();
    EXPECT_TRUE(output.block.isEmpty());
}
