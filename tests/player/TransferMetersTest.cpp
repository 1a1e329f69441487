// The meters every face reads: one per running download, on the transfer's own clock.

#include "host/player/TransferMeters.h"

#include <gtest/gtest.h>

using namespace Lumora;
using Lumora::Host::TransferMeters;

TEST(TransferMeters, eachDownloadIsMeteredOnTheWorkersClockUntilForgotten)
{
    constexpr uint64_t MiB = 1024 * 1024;
    TransferMeters meters;
    TransferState state;
    state.total = 100 * MiB;
    meters.sample(1, state);  // not read by the worker yet: nothing to go by
    EXPECT_FALSE(meters.reading(1));

    for (int i = 0; i <= 10; ++i) {
        state.received = uint64_t(i) * MiB;
        state.readAt = 50000 + i * 100;  // 1 MiB every 100 ms
        meters.sample(1, state);
    }
    TransferState other;
    other.received = 5;
    other.readAt = 1;
    meters.sample(2, other);

    const auto reading = meters.reading(1);
    ASSERT_TRUE(reading);
    EXPECT_EQ(reading->received, 10 * MiB);
    EXPECT_EQ(reading->total, 100 * MiB);
    EXPECT_DOUBLE_EQ(reading->bytesPerSecond, 10.0 * MiB);
    EXPECT_EQ(reading->remainingMs, 9000u);
    EXPECT_EQ(meters.reading(2)->received, 5u);

    meters.forget(1);
    EXPECT_FALSE(meters.reading(1));
    EXPECT_TRUE(meters.reading(2));
}
