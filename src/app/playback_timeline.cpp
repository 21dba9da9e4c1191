#include "app/playback_timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

void PlaybackTimeline::SetPeriod(double period)
{
    m_period = (std::isfinite(period) && period > 0.0) ? period : 0.0;
    m_time = Wrap(m_time);
}

double PlaybackTimeline::Wrap(double t) const
{
    if (!std::isfinite(t))
        return 0.0;
    if (m_period <= 0.0)
        return std::max(t, 0.0);
    double a = std::fmod(t, m_period);
    if (a < 0.0)
        a += m_period;
    // fmod of a tiny negative number plus the period rounds to the period itself.
    return a >= m_period ? 0.0 : a;
}

void PlaybackTimeline::Advance(double wall_seconds)
{
    if (m_paused || !std::isfinite(wall_seconds) || wall_seconds <= 0.0)
        return;
    m_time = Wrap(m_time + wall_seconds * Speed());
}

void PlaybackTimeline::Slower()
{
    m_speed_level = std::max(m_speed_level - 1, kMinSpeedLevel);
}

void PlaybackTimeline::Faster()
{
    m_speed_level = std::min(m_speed_level + 1, kMaxSpeedLevel);
}

double PlaybackTimeline::Speed() const
{
    return std::ldexp(1.0, m_speed_level);
}

void PlaybackTimeline::Step(int direction, double dt)
{
    if (!(dt > 0.0) || !std::isfinite(dt) || direction == 0)
        return;
    // The step grid index of the time; the slack keeps a time that is a
    // whole step up to rounding on its step.
    const double k = m_time / dt;
    const double nearest = std::round(k);
    const double here = std::fabs(k - nearest) < 1e-6 ? nearest : k;
    const double next = direction > 0 ? std::floor(here) + 1.0 : std::ceil(here) - 1.0;
    double t = next * dt;
    // The last step before the period wraps to 0 going forward; stepping back
    // from 0 goes to the last whole step of the period.
    if (m_period > 0.0 && t >= m_period - 1e-9 * m_period)
        t = 0.0;
    else if (t < 0.0)
        t = m_period > 0.0 ? (std::ceil(m_period / dt) - 1.0) * dt : 0.0;
    m_time = Wrap(t);
}

std::string SpeedText(int speed_level)
{
    if (speed_level >= 0)
        return std::to_string(1 << speed_level) + "x";
    return "1/" + std::to_string(1 << -speed_level) + "x";
}

std::string TimelineLabel(const PlaybackTimeline& timeline)
{
    char text[96];
    std::snprintf(text, sizeof text, "%s  %s  %.2f s / %.2f s", timeline.Paused() ? "paused" : "playing",
                  SpeedText(timeline.SpeedLevel()).c_str(), timeline.Time(), timeline.Period());
    return text;
}
