// Progress lines for long tool runs: "STAGE: P% (DONE of TOTAL)" on a stream,
// about once a second, and only once the run has taken more than a second, so
// quick runs print nothing. The clock is a parameter so the timing can be
// tested without waiting.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>

class ProgressLine {
public:
    using Clock = std::function<double()>;  // seconds, never going back

    static constexpr double kQuietSeconds = 1.0;  // nothing is printed before this
    static constexpr double kEverySeconds = 1.0;  // then at most one line per period

    // Counts time from construction.
    explicit ProgressLine(std::FILE* out, Clock clock = SteadySeconds);

    // Prints a line for stage when one is due.
    void Update(const char* stage, size_t done, size_t total);
    // Lines printed so far.
    size_t Lines() const { return lines; }

    static double SteadySeconds();

private:
    std::FILE* out;
    Clock clock;
    double next_due;
    size_t lines = 0;
};
