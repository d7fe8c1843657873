#pragma once
// The clock that stamps the commands a driver receives
// (DeviceDriverTpl::on_tx_recv): simulated time when this process follows a
// simulator (the real-time clock while simulated time is switched off),
// otherwise the monotonic clock; nanoseconds since the clock's epoch.

#include <cstdint>

namespace Orvo {
namespace Hal {

// Any thread; never blocks, allocates or throws. Inside a ReceiveTimePass of
// the calling thread, the pass's first reading.
int64_t tx_receive_time();

// One reading of the receive clock for every command that the calling
// thread receives while the pass is open: a container's move pass reads the
// clock once, at its first command, and not once per device.
class ReceiveTimePass {
public:
  ReceiveTimePass();
  ~ReceiveTimePass();
  ReceiveTimePass(const ReceiveTimePass&) = delete;
  ReceiveTimePass& operator=(const ReceiveTimePass&) = delete;

private:
  friend int64_t tx_receive_time();
  ReceiveTimePass* _outer;
  int64_t _time = 0;
  bool _read = false;
};

}  // namespace Hal
}  // namespace Orvo
