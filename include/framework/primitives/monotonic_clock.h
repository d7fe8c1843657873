#pragma once
// The process's one reading of CLOCK_MONOTONIC as a time point: cycle
// deadlines, timeouts, throttles and command stamps all take it from here.

#include <cstdint>
#include <ctime>

namespace Orvo {

// Any thread; never blocks, never allocates. Nanoseconds since the monotonic
// clock's epoch.
inline int64_t monotonic_now_ns() noexcept {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

}  // namespace Orvo
