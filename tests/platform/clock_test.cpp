#include "platform/clock.h"

#include <gtest/gtest.h>

#include <thread>

TEST(MonotonicClock, NeverGoesBackAndAdvancesWithTime)
{
    double a = platform::MonotonicSeconds();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    double b = platform::MonotonicSeconds();
    EXPECT_GE(b - a, 0.015);
    for (int i = 0; i < 1000; ++i) {
        double c = platform::MonotonicSeconds();
        ASSERT_GE(c, b);
        b = c;
    }
}
