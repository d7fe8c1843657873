#pragma once
// A bounded wait for a condition that another thread or process makes true.

#include <chrono>
#include <thread>

namespace OrvoTest {

// How often to ask another process (a ROS master, a tool, a file it writes):
// gentle on it. A flag of another thread is polled every millisecond.
inline constexpr std::chrono::milliseconds kProcessPoll{20};

// Polls `done` every `poll`; true once it holds, false when `limit` passed
// first.
template <typename Predicate>
bool wait_until(Predicate done, std::chrono::milliseconds limit = std::chrono::milliseconds(2000),
                std::chrono::milliseconds poll = std::chrono::milliseconds(1)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(poll);
  }
  return true;
}

}  // namespace OrvoTest
