// The playback timeline's arithmetic: pause, speed, steps, home and the
// position within the playback period, without a context.
#include "app/playback_timeline.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>

namespace {

TEST(PlaybackTimeline, AdvancesByWallTimeTimesTheSpeedAndRunsOnPastThePeriod)
{
    PlaybackTimeline t(10.0);
    t.Advance(3.0);
    EXPECT_DOUBLE_EQ(t.Time(), 3.0);
    t.Faster();  // 2x
    t.Advance(3.0);
    EXPECT_DOUBLE_EQ(t.Time(), 9.0);
    // Only the position in the period wraps: a flight or the clouds on the
    // time itself go on.
    t.Advance(1.0);
    EXPECT_DOUBLE_EQ(t.Time(), 11.0);
    EXPECT_DOUBLE_EQ(t.InPeriod(), 1.0);
    t.Advance(35.0);  // 81: eight periods and 1
    EXPECT_DOUBLE_EQ(t.Time(), 81.0);
    EXPECT_NEAR(t.InPeriod(), 1.0, 1e-12);
}

TEST(PlaybackTimeline, PauseHoldsTheTimeAndResumeGoesOnFromIt)
{
    PlaybackTimeline t(100.0);
    t.Advance(4.0);
    t.TogglePause();
    EXPECT_TRUE(t.Paused());
    t.Advance(50.0);
    EXPECT_DOUBLE_EQ(t.Time(), 4.0);
    t.TogglePause();
    EXPECT_FALSE(t.Paused());
    t.Advance(0.5);
    EXPECT_DOUBLE_EQ(t.Time(), 4.5);
}

TEST(PlaybackTimeline, SpeedHalvesAndDoublesBetweenOneSixteenthAndSixteen)
{
    PlaybackTimeline t;
    EXPECT_EQ(t.Speed(), 1.0);
    const struct {
        int presses;  // + faster, - slower, from 1x
        double speed;
        const char* text;
    } cases[] = {{1, 2.0, "2x"}, {4, 16.0, "16x"}, {9, 16.0, "16x"}, {-1, 0.5, "1/2x"}, {-4, 0.0625, "1/16x"},
                 {-7, 0.0625, "1/16x"}};
    for (const auto& c : cases) {
        PlaybackTimeline s;
        for (int i = 0; i < std::abs(c.presses); ++i)
            c.presses > 0 ? s.Faster() : s.Slower();
        EXPECT_EQ(s.Speed(), c.speed) << c.presses;
        EXPECT_EQ(SpeedText(s.SpeedLevel()), c.text) << c.presses;
    }
    // Down to the floor and back up: each press one halving again.
    for (int i = 0; i < 10; ++i)
        t.Slower();
    t.Faster();
    EXPECT_EQ(t.Speed(), 0.125);
}

TEST(PlaybackTimeline, StepsLandOnTheStepGridOfEveryPeriod)
{
    const struct {
        double period, dt, start;
        int direction;
        double expected;
    } cases[] = {
        {360.0, 0.25, 12.5, +1, 12.75},     // on the grid: one dt
        {360.0, 0.25, 12.5, -1, 12.25},
        {360.0, 0.25, 12.6, +1, 12.75},     // between steps: to the next one
        {360.0, 0.25, 12.6, -1, 12.5},      // and to the previous one
        {360.0, 0.25, 359.75, +1, 360.0},   // the last step goes on to the next period's start
        {360.0, 0.25, 360.0, -1, 359.75},   // and back
        {360.0, 0.25, 0.0, -1, 359.75},     // back from 0 to the first period's last step
        {360.0, 0.25, 372.6, +1, 372.75},   // the grid of a later period
        {10.0, 3.0, 0.0, -1, 9.0},          // a period that is no whole number of steps
        {10.0, 3.0, 9.0, +1, 10.0},
        {10.0, 3.0, 12.0, +1, 13.0},        // its fixes lie at 10 + 3k in the second period
        {10.0, 3.0, 10.0, -1, 9.0},
        {360.0, 0.1, 0.3, +1, 0.4},         // 0.3 / 0.1 is 2.9999...: still on its step
        {360.0, 0.1, 0.3, -1, 0.2},
    };
    for (const auto& c : cases) {
        PlaybackTimeline t(c.period);
        t.Advance(c.start);
        t.Step(c.direction, c.dt);
        EXPECT_NEAR(t.Time(), c.expected, 1e-9) << c.start << " " << c.direction;
    }
}

TEST(PlaybackTimeline, FixesWithTheirOwnTimesAreSteppedOneByOne)
{
    const std::vector<double> fixes = {0.0, 0.7, 2.0, 9.5};
    const struct {
        double start;
        int direction;
        double expected;
    } cases[] = {
        {0.0, +1, 0.7},   {0.7, +1, 2.0},  {1.0, +1, 2.0},  {1.0, -1, 0.7},  {9.5, +1, 10.0},  // on to the next period
        {10.0, -1, 9.5},  {0.0, -1, 9.5},  {12.2, +1, 19.5}, {10.7, -1, 10.0},
    };
    for (const auto& c : cases) {
        PlaybackTimeline t(10.0);
        t.Seek(c.start);
        t.StepToFix(c.direction, fixes);
        EXPECT_NEAR(t.Time(), c.expected, 1e-9) << c.start << " " << c.direction;
    }
    PlaybackTimeline none(10.0);
    none.Seek(3.0);
    none.StepToFix(+1, {});
    EXPECT_EQ(none.Time(), 3.0);
}

TEST(PlaybackTimeline, StepsWorkWhilePausedAndKeepThePause)
{
    PlaybackTimeline t(360.0);
    t.TogglePause();
    t.Step(+1, 0.25);
    t.Step(+1, 0.25);
    t.Step(-1, 0.25);
    EXPECT_DOUBLE_EQ(t.Time(), 0.25);
    EXPECT_TRUE(t.Paused());
    t.Step(+1, 0.0);  // no grid: nothing
    t.Step(+1, std::numeric_limits<double>::quiet_NaN());
    EXPECT_DOUBLE_EQ(t.Time(), 0.25);
}

TEST(PlaybackTimeline, HomeAndSeekKeepPauseAndSpeed)
{
    PlaybackTimeline t(360.0);
    t.Faster();
    t.Advance(100.0);
    t.TogglePause();
    t.Home();
    EXPECT_EQ(t.Time(), 0.0);
    EXPECT_TRUE(t.Paused());
    EXPECT_EQ(t.Speed(), 2.0);
    for (const auto& [to, want] : {std::pair{120.0, 120.0}, {400.0, 400.0}, {-10.0, 0.0}, {std::nan(""), 0.0}}) {
        t.Seek(to);
        EXPECT_DOUBLE_EQ(t.Time(), want) << to;
    }
    EXPECT_TRUE(t.Paused());
    EXPECT_EQ(t.Speed(), 2.0);
}

TEST(PlaybackTimeline, BadClockStepsAndPeriodsChangeNothing)
{
    PlaybackTimeline t(10.0);
    t.Advance(2.0);
    for (double step : {-1.0, std::numeric_limits<double>::infinity(), std::numeric_limits<double>::quiet_NaN()})
        t.Advance(step);
    EXPECT_DOUBLE_EQ(t.Time(), 2.0);
    // Without a period (a one-second dataset) the position is the time.
    PlaybackTimeline open(0.0);
    open.Advance(25.0);
    EXPECT_DOUBLE_EQ(open.InPeriod(), 25.0);
    open.SetPeriod(10.0);
    EXPECT_DOUBLE_EQ(open.Time(), 25.0);
    EXPECT_DOUBLE_EQ(open.InPeriod(), 5.0);
}

TEST(PlaybackTimeline, TheLabelSaysStateSpeedAndPosition)
{
    PlaybackTimeline t(360.0);
    t.Advance(372.5);
    EXPECT_EQ(TimelineLabel(t), "playing  1x  12.50 s / 360.00 s");
    t.TogglePause();
    t.Slower();
    t.Slower();
    EXPECT_EQ(TimelineLabel(t), "paused  1/4x  12.50 s / 360.00 s");
}

}  // namespace
