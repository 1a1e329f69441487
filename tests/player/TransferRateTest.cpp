// The speed a face shows: from the first readings on, over a sliding window, and the time left.

#include "host/player/TransferRate.h"

#include <gtest/gtest.h>

using Lumora::Host::TransferRate;

TEST(TransferRate, aSteadyTransferShowsItsRateFromTheSecondReadingOn)
{
    TransferRate rate;
    constexpr uint64_t MiB = 1024 * 1024;
    rate.add(0, 1000);
    EXPECT_EQ(rate.bytesPerSecond(), 0.0) << "one reading tells no speed";
    rate.add(MiB, 1250);  // 4 MiB/s, read every 250 ms
    EXPECT_DOUBLE_EQ(rate.bytesPerSecond(), 4.0 * MiB);
    for (int i = 2; i <= 100; ++i)
        rate.add(uint64_t(i) * MiB, 1000 + i * 250);
    EXPECT_DOUBLE_EQ(rate.bytesPerSecond(), 4.0 * MiB);
    // 2 GiB at 4 MiB/s with 100 MiB done: 487 s left.
    EXPECT_EQ(rate.remainingMs(2048 * MiB), 487000u);
}

TEST(TransferRate, onlyTheWindowCounts)
{
    TransferRate rate(std::chrono::milliseconds(1000));
    uint64_t received = 0;
    int64_t at = 0;
    for (; at <= 10000; at += 100)  // 10 s at 1 MB/s
        rate.add(received += 100000, at);
    for (; at <= 12000; at += 100)  // then 2 s at 100 kB/s
        rate.add(received += 10000, at);
    EXPECT_NEAR(rate.bytesPerSecond(), 100000.0, 1.0);
}

TEST(TransferRate, repeatedStaleAndRestartedReadingsAreHandled)
{
    TransferRate rate;
    rate.add(1000, 100);
    rate.add(2000, 200);
    rate.add(9999, 200);   // the same moment again
    rate.add(9999, 150);   // an older one
    EXPECT_DOUBLE_EQ(rate.bytesPerSecond(), 10000.0);
    rate.add(10, 300);     // started over from zero
    EXPECT_EQ(rate.bytesPerSecond(), 0.0);
    EXPECT_EQ(rate.received(), 10u);
    EXPECT_EQ(rate.remainingMs(0), 0u);
}
