// Playback time as the window's timeline controls it: paused or running, at
// a speed of 1/16 to 16 times the wall clock, stepped by the dataset's dt,
// sent home to 0, and wrapped at the dataset's playback period.
//
// The application advances it by the wall-clock seconds of each window frame
// and draws the frame at Time(). Screenshots (p) take Time() as well;
// recordings keep their own frame times and never read it. Plain C++, no GL,
// so the arithmetic is tested without a context. Main-loop thread only.
#pragma once

#include <string>

class PlaybackTimeline {
public:
    static constexpr int kMinSpeedLevel = -4;  // 1/16 x
    static constexpr int kMaxSpeedLevel = 4;   // 16 x

    // Time wraps into [0, period); a period that is not positive (or not
    // finite) never wraps.
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
    // step grid: from a time between two steps it goes to the next (or
    // previous) step, so each press lands on a fix of the solution. Wraps
    // at both ends. Nothing for a dt that is not positive.
    void Step(int direction, double dt);

    // Back to time 0; pause and speed stay.
    void Home() { m_time = 0.0; }
    // To time t, wrapped into the period (a time that is not finite is 0);
    // pause and speed stay.
    void Seek(double t) { m_time = Wrap(t); }

    double Time() const { return m_time; }  // seconds, in [0, period)
    double Period() const { return m_period; }

private:
    double Wrap(double t) const;

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
