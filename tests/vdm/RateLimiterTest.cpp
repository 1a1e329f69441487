// The limiter's accounting on a clock the test moves: what passes over time, and how a new rate
// or a pause in traffic changes it.

#include "vdm/RateLimiter.h"

#include <gtest/gtest.h>

using namespace Vdm;
using namespace std::chrono_literals;

namespace {

using Clock = RateLimiter::Clock;

} // namespace

TEST(RateLimiter, overTenSecondsTheBytesTakenMatchTheRate)
{
    for (const uint64_t rate : {uint64_t(64 * 1024), uint64_t(1000000), uint64_t(50 * 1024 * 1024)}) {
        RateLimiter limiter;
        Clock::time_point now {};
        limiter.setRate(rate, now);
        const Clock::time_point end = now + 10s;
        // Receives of every size up to the largest the engine asks for under a limit.
        const uint64_t chunks[] = {rate / 8, 16384, 3000, rate / 20, 1};
        uint64_t taken = 0;
        for (size_t i = 0; now < end; ++i) {
            const uint64_t chunk = chunks[i % std::size(chunks)];
            taken += chunk;
            now += limiter.take(chunk, now);
        }
        const double expected = double(rate) * 10;
        EXPECT_NEAR(double(taken), expected, expected * 0.05) << rate;
    }
}

TEST(RateLimiter, aNewRateAppliesToWhatIsOwed)
{
    RateLimiter limiter;
    Clock::time_point now {};
    limiter.setRate(100000, now);
    EXPECT_EQ(limiter.take(1000000, now), 10000001us);
    now += 2s;  // 200000 paid, 800000 owed
    limiter.setRate(1000000, now);
    EXPECT_EQ(limiter.debt(now), 800001us);
    limiter.setRate(0, now);
    EXPECT_EQ(limiter.debt(now), 0us) << "no limit, no debt";
    EXPECT_EQ(limiter.take(1u << 30, now), 0us);
    limiter.setRate(100000, now);
    EXPECT_EQ(limiter.take(100000, now), 1000001us) << "a limit set again starts without credit or debt";
}

TEST(RateLimiter, idleTimeBuysAQuarterOfASecondAtMost)
{
    RateLimiter limiter;
    Clock::time_point now {};
    limiter.setRate(1000000, now);
    now += 1h;
    EXPECT_EQ(limiter.take(250000, now), 0us);
    EXPECT_EQ(limiter.take(500000, now), 500001us);
}
