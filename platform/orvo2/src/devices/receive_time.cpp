#include "devices/receive_time.h"

#include <ctime>

#include "framework/primitives/monotonic_clock.h"
#include "orvo2/clock/simulated_clock.h"

namespace Orvo {
namespace Hal {
namespace {

thread_local ReceiveTimePass* open_pass = nullptr;

int64_t read_receive_clock() {
  using Orvo::chrono::simulated_clock;
  if (!simulated_clock::uses_sim_time()) {
    return monotonic_now_ns();
  }
  if (simulated_clock::_use_sim_time.load()) {
    return simulated_clock::_sim_now.load();
  }
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  return int64_t(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

}  // namespace

int64_t tx_receive_time() {
  ReceiveTimePass* pass = open_pass;
  if (pass == nullptr) {
    return read_receive_clock();
  }
  if (!pass->_read) {
    pass->_time = read_receive_clock();
    pass->_read = true;
  }
  return pass->_time;
}

ReceiveTimePass::ReceiveTimePass() : _outer(open_pass) { open_pass = this; }

ReceiveTimePass::~ReceiveTimePass() { open_pass = _outer; }

}  // namespace Hal
}  // namespace Orvo
