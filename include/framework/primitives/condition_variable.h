#pragma once
// Process-private pthread condition on the monotonic clock: every timed wait
// on it takes an absolute CLOCK_MONOTONIC deadline.

#include <pthread.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <string>

namespace Orvo {

class condition_variable {
public:
  condition_variable() {
    pthread_condattr_t attr;
    pthread_condattr_init(&attr);
    pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
    int rc = pthread_condattr_setpshared(&attr, PTHREAD_PROCESS_PRIVATE);
    if (rc != 0) {
      pthread_condattr_destroy(&attr);
      throw std::runtime_error(std::string("error in pthread_condattr_setpshared: ") + std::strerror(rc));
    }
    rc = pthread_cond_init(&_handle, &attr);
    pthread_condattr_destroy(&attr);
    if (rc != 0) {
      throw std::runtime_error(std::string("error initializing condition_variable: ") + std::strerror(rc));
    }
  }

  condition_variable(const condition_variable&) = delete;
  condition_variable& operator=(const condition_variable&) = delete;

  ~condition_variable() {
    const int rc = pthread_cond_destroy(&_handle);
    if (rc != 0) {
      std::fprintf(stderr, "Error in ~condition_variable: %s \n", std::strerror(rc));
    }
  }

  // Any thread; never blocks.
  void notify_one() {
    const int rc = pthread_cond_signal(&_handle);
    if (rc != 0) {
      throw std::runtime_error(std::string("error in pthread_cond_signal: ") + std::strerror(rc));
    }
  }

  // Waiting and broadcasting go through the native handle.
  pthread_cond_t* native_handle() { return &_handle; }

private:
  pthread_cond_t _handle;
};

}  // namespace Orvo
