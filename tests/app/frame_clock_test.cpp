#include "app/frame_clock.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

TEST(FrameClock, AccumulatesCountsAsSeconds)
{
    FrameClock c;
    c.counts_per_second = 1000;
    c.last_count = 5000;
    c.seconds = 0.0;
    EXPECT_DOUBLE_EQ(c.Advance(5500), 0.5);
    EXPECT_DOUBLE_EQ(c.Advance(7000), 2.0);
    EXPECT_EQ(c.last_count, 7000);
}

TEST(FrameClock, ACounterGoingBackwardsNeverStepsBack)
{
    FrameClock c;
    c.counts_per_second = 1000;
    c.last_count = 9000;
    c.seconds = 10.0;
    // Far behind the last count: the step wraps through the top of the range
    // and the overflow guard adds only the new reading.
    double t = c.Advance(4000);
    EXPECT_GE(t, 10.0);
    EXPECT_DOUBLE_EQ(t, 10.0 + 4.0 + (std::numeric_limits<int64_t>::max() - 9000) / 1000.0);
}

TEST(FrameClock, AWrappedCounterCountsUpToTheTopThenOn)
{
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    FrameClock c;
    c.counts_per_second = 1000;
    c.last_count = kMax - 1000;
    c.seconds = 0.0;
    // From near the top back to a small reading: 1000 counts to the top plus the 500 after.
    EXPECT_DOUBLE_EQ(c.Advance(500), 1.5);
}

TEST(FrameClock, ResetStartsAgainFromZero)
{
    FrameClock c;
    c.seconds = 42.0;
    c.Reset();
    EXPECT_DOUBLE_EQ(c.seconds, 0.0);
    double t = c.Read();
    EXPECT_GE(t, 0.0);
    EXPECT_LT(t, 1.0);
}

}  // namespace
