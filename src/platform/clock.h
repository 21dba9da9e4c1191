// Monotonic clock: seconds since an arbitrary fixed point, never going back.
#pragma once

namespace platform {

double MonotonicSeconds();

}  // namespace platform
