#include "app/frame_clock.h"

#include <chrono>
#include <limits>

namespace {

int64_t CounterNow()
{
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

}  // namespace

FrameClock::FrameClock()
    : counts_per_second(std::chrono::steady_clock::period::den / std::chrono::steady_clock::period::num),
      last_count(CounterNow())
{
}

void FrameClock::Reset()
{
    seconds = 0.0;
    last_count = CounterNow();
}

double FrameClock::Read()
{
    return Advance(CounterNow());
}

double FrameClock::Advance(int64_t now)
{
    constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
    int64_t delta;
    if (now >= last_count) {
        delta = now - last_count;
    } else {
        // The counter went backwards or wrapped: count up to the top and on
        // from zero, unless that sum itself would overflow.
        delta = kMax - last_count;
        if (delta > kMax - now)
            seconds += static_cast<double>(now) / static_cast<double>(counts_per_second);
        else
            delta += now;
    }
    last_count = now;
    seconds += static_cast<double>(delta) / static_cast<double>(counts_per_second);
    return seconds;
}
