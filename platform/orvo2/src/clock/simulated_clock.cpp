#include "orvo2/clock/simulated_clock.h"

#include <ctime>

namespace Orvo {
namespace chrono {

std::atomic<int64_t> simulated_clock::_sim_now{0};
std::atomic<bool> simulated_clock::_use_sim_time{false};
std::atomic<bool> simulated_clock::_ever_enabled{false};

void simulated_clock::enable_sim_time(bool enable) {
  if (enable) {
    _ever_enabled.store(true);
  }
  _use_sim_time.store(enable);
}

void simulated_clock::initialize(duration time) { _sim_now.store(time.count()); }

void simulated_clock::set_time(duration time) { _sim_now.store(time.count()); }

bool simulated_clock::uses_sim_time() { return _ever_enabled.load(); }

simulated_clock::time_point simulated_clock::now() {
  if (_use_sim_time.load()) {
    return time_point(duration(_sim_now.load()));
  }
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return time_point(duration(int64_t(ts.tv_sec) * 1000000000LL + ts.tv_nsec));
}

}  // namespace chrono
}  // namespace Orvo
