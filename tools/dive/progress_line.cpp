#include "progress_line.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <utility>

double ProgressLine::SteadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool ProgressLine::ParsePeriod(const char* text, double& period)
{
    if (!text || !*text) {
        period = kDefaultPeriod;
        return true;
    }
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (end == text || *end != '\0' || !std::isfinite(value) || value < 0)
        return false;
    period = value;
    return true;
}

ProgressLine::ProgressLine(std::FILE* stream, double seconds, Clock c)
    : out(stream), period(seconds), clock(std::move(c)), next_due(clock() + period)
{
}

void ProgressLine::Update(const char* stage, size_t done, size_t total)
{
    const double now = clock();
    if (now < next_due)
        return;
    // A late update restarts the period rather than printing a burst.
    next_due = now + period;
    // Rounded down, so 100% means done.
    const double percent =
        total > 0 ? std::min(100.0, std::floor(100.0 * static_cast<double>(done) / static_cast<double>(total))) : 100.0;
    std::fprintf(out, "%s: %d%% (%zu of %zu)\n", stage, static_cast<int>(percent), done, total);
    std::fflush(out);
    ++lines;
}
