// The frame clock: seconds accumulated from a monotonic counter, advanced by
// each reading. Time starts when the application resets it at the first frame.
#pragma once

#include <cstdint>

class FrameClock {
public:
    FrameClock();

    // Sets the seconds to 0 and the last count to now.
    void Reset();
    // Advances by the counts since the last reading and returns the seconds.
    double Read();
    // The same step with an explicit counter reading, for counters that go
    // backwards or wrap.
    double Advance(int64_t now);

    int64_t counts_per_second;  // counter frequency
    int64_t last_count;         // counter at the last reading
    double seconds = 0.0;       // accumulated time
};
