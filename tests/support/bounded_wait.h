#pragma once
// A bounded wait for a condition that another thread or process makes true
// (polled every 20 ms, gentle on the processes it asks).

#include <chrono>
#include <thread>

namespace OrvoTest {

// Polls `done` every 20 ms; true once it holds, false when `limit` passed
// first.
template <typename Predicate>
bool wait_until(Predicate done, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

}  // namespace OrvoTest
