#pragma once
// Bounds how long orvocore takes to end once its threads are stopped, where
// that can hang on an outside peer. Releasing the threads ends their
// plug-ins' ROS publishers, subscriptions and services, and ROS unregisters
// each with the ROS master, waiting without a time-out: a master that does not
// answer (stopped, or unreachable) would hold the process for good. Without
// ROS in the process nothing of the release waits on a peer, and a slow
// plug-in is waited for however long it takes.

#include <chrono>
#include <memory>
#include <string>

namespace Orvo {

class StopDeadline {
public:
  // Main thread, once the threads are stopped; allocates. When ROS was
  // started in this process, starts a watchdog thread: if the process still
  // runs `limit` from now, it writes to stderr what was still being released
  // (and so abandoned) and ends the process with _exit(1), the stop being
  // incomplete. Without ROS it does nothing.
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
