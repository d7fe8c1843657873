#pragma once
// Bounds how long orvocore takes to end once its threads are stopped.
// Releasing them ends their plug-ins' ROS publishers, subscriptions and
// services, and ROS unregisters each with the ROS master, waiting without a
// time-out: a master that does not answer (stopped, or unreachable) would
// hold the process for good. Past the deadline, the process is ended anyway.

#include <chrono>
#include <memory>
#include <string>

namespace Orvo {

class StopDeadline {
public:
  // Main thread, once the threads are stopped; allocates. Starts a watchdog
  // thread: if the process still runs `limit` from now, it writes to stderr
  // what was being released and so abandoned, and ends the process with
  // _exit(0) (the robot was already stopped in order).
  explicit StopDeadline(std::chrono::milliseconds limit);
  // The watchdog outlives this object: it covers the process's exit too.
  ~StopDeadline() = default;
  StopDeadline(const StopDeadline&) = delete;
  StopDeadline& operator=(const StopDeadline&) = delete;

  // Main thread; allocates. What is released from now on.
  void releasing(const std::string& what);

private:
  struct State;
  std::shared_ptr<State> _state;
};

}  // namespace Orvo
