#pragma once
// The process clock that can follow a simulator. While simulated time is
// enabled, now() is the last time the simulator sent; otherwise it is the
// real-time clock. Every member is lock-free and may be used in any thread.

#include <atomic>
#include <chrono>
#include <cstdint>

namespace Orvo {
namespace chrono {

class simulated_clock {
public:
  using duration = std::chrono::nanoseconds;
  using rep = duration::rep;
  using period = duration::period;
  using time_point = std::chrono::time_point<simulated_clock, duration>;
  static constexpr bool is_steady = false;

  // Switches simulated time on or off; the first switch-on marks the process
  // as one that uses simulated time for good.
  static void enable_sim_time(bool enable);
  // First simulated time, before any update.
  static void initialize(duration time);
  // Each update from the simulator.
  static void set_time(duration time);
  // True once simulated time was switched on in this process.
  static bool uses_sim_time();
  // Simulated time while enabled, else the real-time clock.
  static time_point now();

  static std::atomic<int64_t> _sim_now;      // nanoseconds
  static std::atomic<bool> _use_sim_time;    // enabled right now

private:
  static std::atomic<bool> _ever_enabled;
};

}  // namespace chrono
}  // namespace Orvo
