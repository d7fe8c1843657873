#pragma once
// The clock of the command expiry deadlines: the process's simulated clock
// when this process follows a simulator, otherwise the monotonic clock.

#include <cstdint>

#include "framework/primitives/monotonic_clock.h"
#include "orvo2/clock/simulated_clock.h"

namespace Orvo {
namespace Hal {

// Any thread; lock-free, never allocates. Nanoseconds since the clock's epoch.
inline int64_t deadline_clock_now() {
  using Orvo::chrono::simulated_clock;
  if (simulated_clock::uses_sim_time()) {
    return simulated_clock::now().time_since_epoch().count();
  }
  return monotonic_now_ns();
}

}  // namespace Hal
}  // namespace Orvo
