// Progress lines for long tool runs: "STAGE: P% (DONE of TOTAL)" on a stream,
// at most once a period, and only once the run has lasted a period, so quick
// runs print nothing. The period is a second unless the tool's user (or a
// test, which sets 0 to see every report whatever the machine's speed) asks
// for another through NERELLE_PROGRESS_INTERVAL. The clock is a parameter so
// the timing can be tested without waiting.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>

class ProgressLine {
public:
    using Clock = std::function<double()>;  // seconds, never going back

    static constexpr double kDefaultPeriod = 1.0;  // seconds
    static constexpr const char* kPeriodVariable = "NERELLE_PROGRESS_INTERVAL";

    // Counts time from construction; `period` is in seconds, 0 or more.
    explicit ProgressLine(std::FILE* out, double period = kDefaultPeriod, Clock clock = SteadySeconds);

    // Prints a line for stage when one is due.
    void Update(const char* stage, size_t done, size_t total);
    // Lines printed so far.
    size_t Lines() const { return lines; }

    static double SteadySeconds();
    // The period that `text`, the variable's value, asks for: the default
    // when it is null or empty. False, leaving `period` alone, when it is
    // not a finite number of seconds from 0 up.
    static bool ParsePeriod(const char* text, double& period);

private:
    std::FILE* out;
    double period;
    Clock clock;
    double next_due;
    size_t lines = 0;
};
