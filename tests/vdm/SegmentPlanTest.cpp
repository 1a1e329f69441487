// How a file's missing bytes are divided among connections: the split, the stealing, and what is
// counted as present while ranges change hands.

#include "vdm/SegmentPlan.h"

#include <gtest/gtest.h>

using namespace Vdm;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;

uint64_t missingBytes(const SegmentPlan &plan)
{
    uint64_t sum = 0;
    for (const auto &[first, end] : plan.missing())
        sum += end - first;
    return sum;
}

} // namespace

TEST(SegmentPlan, connectionsJoiningAFreshFileSplitItIntoEvenParts)
{
    SegmentPlan plan;
    plan.reset(64 * kMiB);
    ASSERT_EQ(plan.assign(0, kMiB), 0u);
    for (int connection = 1; connection < 4; ++connection)
        ASSERT_TRUE(plan.assign(connection, kMiB)) << connection;
    std::vector<std::pair<uint64_t, uint64_t>> parts;
    for (size_t id = 0; id < plan.rangeCount(); ++id)
        parts.emplace_back(plan.range(id).next, plan.range(id).end);
    std::sort(parts.begin(), parts.end());
    const std::vector<std::pair<uint64_t, uint64_t>> quarters {
        {0, 16 * kMiB}, {16 * kMiB, 32 * kMiB}, {32 * kMiB, 48 * kMiB}, {48 * kMiB, 64 * kMiB}};
    EXPECT_EQ(parts, quarters);
    EXPECT_EQ(plan.missing(), quarters);
    EXPECT_EQ(plan.present(), 0u);
}

TEST(SegmentPlan, aFinishedConnectionTakesHalfOfTheLargestRemainder)
{
    SegmentPlan plan;
    plan.reset(40 * kMiB);
    const size_t first = *plan.assign(0, kMiB);
    const size_t second = *plan.assign(1, kMiB);  // [20, 40)
    plan.advance(first, 20 * kMiB);               // the first is done with [0, 20)
    plan.advance(second, 4 * kMiB);               // the second has [24, 40) to go
    plan.release(first);

    const size_t stolen = *plan.assign(0, kMiB);
    EXPECT_EQ(plan.range(stolen).next, 32 * kMiB);
    EXPECT_EQ(plan.range(stolen).end, 40 * kMiB);
    EXPECT_EQ(plan.range(second).end, 32 * kMiB) << "the owner now stops where the taken half begins";
    EXPECT_EQ(plan.present(), 24 * kMiB) << "stealing moves no bytes";

    // Halves below the minimum are not worth a request.
    plan.advance(second, 7 * kMiB);
    plan.advance(stolen, 7 * kMiB);
    EXPECT_FALSE(plan.assign(2, kMiB));
    EXPECT_FALSE(plan.complete());
    plan.advance(second, kMiB);
    plan.advance(stolen, kMiB);
    EXPECT_TRUE(plan.complete());
    EXPECT_EQ(plan.present(), 40 * kMiB);
}

TEST(SegmentPlan, releasedRangesGoToTheNextConnectionLowestFirst)
{
    SegmentPlan plan;
    plan.restore(100, {{60, 80}, {10, 20}, {90, 100}});
    EXPECT_EQ(plan.present(), 60u);
    EXPECT_EQ(plan.range(*plan.assign(7, 1)).next, 10u);
    const size_t middle = *plan.assign(8, 1);
    EXPECT_EQ(plan.range(middle).next, 60u);
    plan.advance(middle, 5);
    plan.release(middle);
    const size_t again = *plan.assign(9, 1);
    EXPECT_EQ(again, middle);
    EXPECT_EQ(plan.range(again).next, 65u) << "the released one, from where it stopped";
    EXPECT_EQ(plan.range(again).owner, 9);
    EXPECT_EQ(plan.range(*plan.assign(10, 1)).next, 90u);
}

TEST(SegmentPlan, aRangeGrowsOverTheFreeOneThatFollowsWithinItsRequest)
{
    SegmentPlan plan;
    plan.reset(30 * kMiB);
    const size_t open = *plan.assign(0, kMiB);
    const size_t taken = *plan.assign(1, kMiB);  // [15, 30)
    plan.release(taken);                          // its connection gave up before any byte
    plan.advance(open, 15 * kMiB);
    EXPECT_FALSE(plan.extend(open, 20 * kMiB)) << "beyond what the request asked for";
    EXPECT_TRUE(plan.extend(open, SegmentPlan::kOpenEnd));
    EXPECT_EQ(plan.range(open).end, 30 * kMiB);
    EXPECT_EQ(missingBytes(plan), 15 * kMiB);
    EXPECT_FALSE(plan.assign(2, 16 * kMiB)) << "nothing free left, and no half that large";
}

TEST(SegmentPlan, aFileOfUnknownSizeIsOneRangeUntilItsEnd)
{
    SegmentPlan plan;
    plan.reset(SegmentPlan::kOpenEnd);
    const size_t only = *plan.assign(0, kMiB);
    EXPECT_FALSE(plan.assign(1, kMiB)) << "no half of an unknown size";
    plan.advance(only, 5000);
    EXPECT_EQ(plan.present(), 5000u);
    EXPECT_FALSE(plan.complete());
    plan.setTotal(5000);
    EXPECT_TRUE(plan.complete());
    EXPECT_TRUE(plan.missing().empty());
}
