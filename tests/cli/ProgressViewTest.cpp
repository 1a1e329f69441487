#include "host/cli/ProgressView.h"

#include <gtest/gtest.h>

using Lumora::Cli::ProgressView;

TEST(ProgressView, terminalLinesFitTheWidthAndKeepTheFigures)
{
    const QString title = QString("a rather long title of a video that goes on and on").repeated(2);
    for (int width : {80, 100, 132, 250}) {
        const QString line = ProgressView::progressLine(12, title, 51, 4u << 20, 2.5 * 1024 * 1024, 61000, width);
        EXPECT_LT(line.size(), width) << width;
        EXPECT_TRUE(line.startsWith("[12] a rather")) << line.toStdString();
        EXPECT_TRUE(line.contains(" 51%  2.04 MiB/4.00 MiB  2.50 MiB/s  ETA 1m01s")) << line.toStdString();
    }
    // A bar only where there is room for one.
    EXPECT_FALSE(ProgressView::progressLine(1, "clip", 50, 100, 0, 0, 40).contains("[="));
    EXPECT_TRUE(ProgressView::progressLine(1, "clip", 50, 100, 0, 0, 120).contains("[==========>"));
    EXPECT_TRUE(ProgressView::progressLine(1, "clip", 100, 100, 0, 0, 120).contains("====]"));
}

TEST(ProgressView, plainLinesCarryTheWholeTitle)
{
    const QString line = ProgressView::progressLine(3, "clip one", 7, 0, 0, 0, 0);
    EXPECT_EQ(line, "[3] clip one    7%  -  ETA -");  // no size known, no speed, no estimate yet
}
