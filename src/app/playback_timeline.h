// Playback time as the window's timeline controls it: paused or running, at
// a speed of 1/16 to 16 times the wall clock, stepped by the dataset's dt and
// sent home to 0. It is the one place that turns wall time into playback
// time: the diver, the camera keys (stamped and flown), the follow camera
// and the scene's own animation all run on Time().
//
// Time() runs on past the dataset's playback period: only the dataset's
// lookups wrap, so a camera flight longer than the period plays to its end
// and clouds and waves do not jump at the wrap. The bar shows the position
// within the period (InPeriod).
//
// The application advances it by the wall-clock seconds of each window frame
// and draws the frame at Time(). Screenshots (p) take Time() as well;
// recordings keep their own frame times and never read it. Plain C++, no GL,
// so the arithmetic is tested without a context. Main-loop thread only.
#pragma once

#include <cmath>
#include <string>
#include <vector>

class PlaybackTimeline {
public:
    static constexpr int kMinSpeedLevel = -4;  // 1/16 x
    static constexpr int kMaxSpeedLevel = 4;   // 16 x

    // The dataset's playback period; one that is not positive (or not
    // finite) has no wrap at all.
    explicit PlaybackTimeline(double period = 0.0) { SetPeriod(period); }
    void SetPeriod(double period);

    // Moves the time on by `wall_seconds` times the speed, unless paused.
    // Negative or non-finite steps (a clock that went backwards) are ignored.
    void Advance(double wall_seconds);

    void TogglePause() { m_paused = !m_paused; }
    bool Paused() const { return m_paused; }
    void SetPaused(bool paused) { m_paused = paused; }

    // Halves or doubles the speed, within 1/16 x to 16 x.
    void Slower();
    void Faster();
    double Speed() const;                   // 2^level
    int SpeedLevel() const { return m_speed_level; }

    // One step of `dt` forward (+1) or back (-1), paused or not, onto the
    // step grid of the period: from a time between two steps it goes to the
    // next (or previous) step, so each press lands on a fix of the solution.
    // Forward from the period's last step goes on to the next period's
    // start; back from time 0 to the first period's last step. Nothing for
    // a dt that is not positive.
    void Step(int direction, double dt);

    // The same for fixes at their own times (ascending playback times within
    // the period): to the next (or previous) fix, on to the next period's
    // start after the last, back to the last fix from a period's start.
    // Nothing without fixes.
    void StepToFix(int direction, const std::vector<double>& fix_times);

    // Back to time 0; pause and speed stay.
    void Home() { m_time = 0.0; }
    // To time t (a time that is negative or not finite is 0); pause and
    // speed stay.
    void Seek(double t) { m_time = std::isfinite(t) && t > 0.0 ? t : 0.0; }

    double Time() const { return m_time; }  // seconds since 0, unwrapped
    double Period() const { return m_period; }
    // The time's position within the period, [0, period); the time itself
    // without a period.
    double InPeriod() const;

    double m_period = 0.0;
    double m_time = 0.0;
    bool m_paused = false;
    int m_speed_level = 0;
};

// The timeline bar's text: "paused" or "playing", the speed ("1x", "4x",
// "1/8x") and the time against the period, e.g.
// "paused  1/4x  12.50 s / 360.00 s".
std::string TimelineLabel(const PlaybackTimeline& timeline);

// The speed as the bar writes it: "1x", "16x", "1/2x".
std::string SpeedText(int speed_level);
