#pragma once
// Bounded polling for tests that wait on other threads.

#include <chrono>
#include <thread>

namespace Orvo {
namespace test {

template <typename Predicate>
bool wait_until(Predicate done, std::chrono::milliseconds limit = std::chrono::milliseconds(2000)) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > deadline) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace test
}  // namespace Orvo
