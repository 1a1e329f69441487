// The waits between tries and the bounds that end them, on a clock the test moves.

#include "vdm/HttpFields.h"
#include "vdm/RetryPolicy.h"

#include <gtest/gtest.h>

using namespace Vdm;
using namespace std::chrono_literals;

namespace {

using Clock = RetryStreak::Clock;

// Fails a streak without progress until the bounds end it; the waits it was given.
std::vector<std::chrono::milliseconds> waitsUntilGivingUp(const RetryBounds &bounds,
                                                          std::optional<std::chrono::milliseconds> retryAfter = {})
{
    RetryStreak streak;
    Clock::time_point now {};
    std::vector<std::chrono::milliseconds> waits;
    while (auto wait = streak.failed(false, retryAfter, bounds, now)) {
        waits.push_back(*wait);
        now += *wait;
        if (waits.size() > 100)
            break;
    }
    return waits;
}

} // namespace

TEST(RetryPolicy, waitsDoubleFromOneSecondUpToTheCap)
{
    const auto waits = waitsUntilGivingUp({10, 3600s});
    const std::vector<std::chrono::milliseconds> expected {1s, 2s, 4s, 8s, 16s, 32s, 60s, 60s, 60s};
    EXPECT_EQ(waits, expected) << "ten tries: nine waits";
}

TEST(RetryPolicy, retryAfterLengthensAWaitUpToItsBound)
{
    EXPECT_EQ(waitsUntilGivingUp({2, 3600s}, 30s), std::vector<std::chrono::milliseconds> {30s});
    EXPECT_EQ(waitsUntilGivingUp({2, 3600s}, 24h), std::vector<std::chrono::milliseconds> {kMaxRetryAfter})
        << "a day is not waited for";
    EXPECT_EQ(waitsUntilGivingUp({2, 3600s}, 0s), std::vector<std::chrono::milliseconds> {1s})
        << "never shorter than the back-off";
}

TEST(RetryPolicy, theTimeBoundEndsRetryingBeforeAWaitThatWouldPassIt)
{
    // 1 + 2 + 4 + 8 = 15 s fit in 20 s; the next 16 s would end at 31 s.
    EXPECT_EQ(waitsUntilGivingUp({100, 20s}).size(), 4u);
    EXPECT_TRUE(waitsUntilGivingUp({100, 0s}).empty());
}

TEST(RetryPolicy, progressStartsTheCountAgainAndRetriesAtOnce)
{
    const RetryBounds bounds {3, 600s};
    RetryStreak streak;
    Clock::time_point now {};
    EXPECT_EQ(streak.failed(false, {}, bounds, now), 1000ms);
    EXPECT_EQ(streak.failed(false, {}, bounds, now += 1s), 2000ms);
    EXPECT_EQ(streak.tryNumber(), 3u);
    // Dropped after delivering bytes, many times over: never given up on, never made to wait.
    for (int i = 0; i < 50; ++i)
        EXPECT_EQ(streak.failed(true, {}, bounds, now += 1s), 0ms);
    EXPECT_EQ(streak.tryNumber(), 1u);
    EXPECT_EQ(streak.failed(false, {}, bounds, now), 1000ms) << "the back-off starts over too";
}

TEST(RetryPolicy, aLimitOfOneTryTurnsRetryingOff)
{
    RetryStreak streak;
    EXPECT_FALSE(streak.failed(true, {}, {1, 600s}, Clock::time_point {}));
    EXPECT_FALSE(streak.failed(false, {}, {1, 600s}, Clock::time_point {}));
}

TEST(HttpFields, retryAfterInSecondsOrAsADate)
{
    using HttpFields::parseRetryAfter;
    const int64_t now = 1700000000;  // Tue, 14 Nov 2023 22:13:20 GMT
    EXPECT_EQ(parseRetryAfter("120", now), 120s);
    EXPECT_EQ(parseRetryAfter(" 0 ", now), 0s);
    EXPECT_EQ(parseRetryAfter("Tue, 14 Nov 2023 22:15:20 GMT", now), 120s);
    EXPECT_EQ(parseRetryAfter("Tue, 14 Nov 2023 22:00:00 GMT", now), 0s) << "a date already past";
    for (const char *garbage : {"", "-5", "soon", "1.5", "99999999999999999999999"})
        EXPECT_FALSE(parseRetryAfter(garbage, now)) << garbage;
}
