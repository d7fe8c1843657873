#pragma once
// Makes the process clock follow the simulator: opens the clock channel
// "gz_to_orvo2_time", waits for the first 8-byte nanosecond count sent after
// that (counts left by a simulator that has ended are dropped), then sets the
// simulated clock from every further count in the thread "clock_thread". A
// message of another size is dropped with an error line.

#include <atomic>
#include <memory>

#include "framework/primitives/thread.h"
#include "orvo2/clock/receiver.h"

namespace Orvo {

class SimTime {
public:
  // Main thread; returns once the first clock message arrived and the clock
  // thread runs. Throws std::runtime_error when the first read fails.
  SimTime();
  SimTime(const SimTime&) = delete;
  SimTime& operator=(const SimTime&) = delete;
  // stop() must have been called: a clock thread still joinable terminates.
  ~SimTime() = default;

  // Main thread; returns within one receive slice.
  void stop();

private:
  void clock_loop();

  std::unique_ptr<Receiver> _receiver;
  std::atomic<bool> _running;
  std::unique_ptr<Orvo::thread> _thread;
};

}  // namespace Orvo
