#include "platform/clock.h"

#include <chrono>

namespace platform {

double MonotonicSeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace platform
