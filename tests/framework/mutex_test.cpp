// Error-checking mutex and monotonic condition.
#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "framework/primitives/condition_variable.h"
#include "framework/primitives/mutex.h"

namespace Orvo {
namespace {

std::string error_of(const std::function<void()>& action) {
  try {
    action();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no exception";
}

TEST(Mutex, MisuseByTheOwningThreadThrowsInsteadOfDeadlocking) {
  Orvo::mutex m;
  m.lock();
  EXPECT_FALSE(m.try_lock());
  EXPECT_EQ(error_of([&] { m.lock(); }),
            std::string("error acquiring the mutex: ") + std::strerror(EDEADLK));
  m.unlock();
  EXPECT_EQ(error_of([&] { m.unlock(); }),
            std::string("error releasing the mutex: ") + std::strerror(EPERM));
  EXPECT_TRUE(m.try_lock());
  m.unlock();
}

TEST(Mutex, UnlockFromAnotherThreadThrows) {
  Orvo::mutex m;
  m.lock();
  std::string error;
  bool acquired = true;
  std::thread other([&] {
    acquired = m.try_lock();
    error = error_of([&] { m.unlock(); });
  });
  other.join();
  EXPECT_FALSE(acquired);
  EXPECT_EQ(error, std::string("error releasing the mutex: ") + std::strerror(EPERM));
  m.unlock();
}

// Deadlines are absolute times on the monotonic clock.
TEST(ConditionVariable, TimedWaitUsesTheMonotonicClock) {
  Orvo::mutex m;
  Orvo::condition_variable cond;
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_nsec += 50 * 1000 * 1000;
  if (deadline.tv_nsec >= 1000000000) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= 1000000000;
  }
  const auto start = std::chrono::steady_clock::now();
  m.lock();
  const int rc = pthread_cond_timedwait(cond.native_handle(), m.native_handle(), &deadline);
  m.unlock();
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(rc, ETIMEDOUT);
  EXPECT_GE(waited, std::chrono::milliseconds(45));
  EXPECT_LT(waited, std::chrono::seconds(2));
  EXPECT_NO_THROW(cond.notify_one());
}

}  // namespace
}  // namespace Orvo
