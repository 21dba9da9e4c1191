#include "app/playback_timeline.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

void PlaybackTimeline::SetPeriod(double period)
{
    m_period = (std::isfinite(period) && period > 0.0) ? period : 0.0;
}

double PlaybackTimeline::InPeriod() const
{
    if (m_period <= 0.0)
        return m_time;
    const double a = std::fmod(m_time, m_period);
    return a >= m_period ? 0.0 : a;
}

void PlaybackTimeline::Advance(double wall_seconds)
{
    if (m_paused || !std::isfinite(wall_seconds) || wall_seconds <= 0.0)
        return;
    const double t = m_time + wall_seconds * Speed();
    if (std::isfinite(t))
        m_time = t;
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
    // Steps work within the period, so they land on the dataset's fixes in
    // every period, not only the first.
    const double position = InPeriod();
    const double base = m_time - position;
    // The step grid index of the position; the slack keeps a position that
    // is a whole step up to rounding on its step.
    const double k = position / dt;
    const double nearest = std::round(k);
    const double here = std::fabs(k - nearest) < 1e-6 ? nearest : k;
    const double next = direction > 0 ? std::floor(here) + 1.0 : std::ceil(here) - 1.0;
    double t = next * dt;
    // Forward from the last step of a period is the next period's start;
    // back from a period's start is the previous period's last whole step
    // (the first period's, from time 0).
    if (m_period > 0.0 && t >= m_period - 1e-9 * m_period) {
        t = m_period;
    } else if (t < 0.0) {
        const double last = m_period > 0.0 ? (std::ceil(m_period / dt) - 1.0) * dt : 0.0;
        t = base >= m_period ? last - m_period : last;
    }
    m_time = std::max(base + t, 0.0);
}

void PlaybackTimeline::StepToFix(int direction, const std::vector<double>& fix_times)
{
    if (fix_times.empty() || direction == 0)
        return;
    const double position = InPeriod();
    const double base = m_time - position;
    // Within a millionth of a second a fix counts as where the time is.
    constexpr double kSlack = 1e-6;
    double t = 0.0;
    if (direction > 0) {
        const auto next = std::upper_bound(fix_times.begin(), fix_times.end(), position + kSlack);
        t = next != fix_times.end() ? *next : m_period > 0.0 ? m_period : fix_times.back();
    } else {
        const auto after = std::lower_bound(fix_times.begin(), fix_times.end(), position - kSlack);
        if (after != fix_times.begin())
            t = *std::prev(after);
        else
            t = base >= m_period && m_period > 0.0 ? fix_times.back() - m_period : fix_times.back();
    }
    m_time = std::max(base + t, 0.0);
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
                  SpeedText(timeline.SpeedLevel()).c_str(), timeline.InPeriod(), timeline.Period());
    return text;
}
