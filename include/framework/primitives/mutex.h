#pragma once
// Error-checking pthread mutex: relocking or unlocking from the wrong thread
// throws instead of deadlocking silently.

#include <pthread.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>

namespace Orvo {

class mutex {
public:
  // Any thread. Throws "error initializing the mutex:<text>" on failure.
  mutex() {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_ERRORCHECK);
    const int rc = pthread_mutex_init(&_handle, &attr);
    pthread_mutexattr_destroy(&attr);
    if (rc != 0) {
      throw std::runtime_error(std::string("error initializing the mutex:") + std::strerror(rc));
    }
  }

  mutex(const mutex&) = delete;
  mutex& operator=(const mutex&) = delete;

  // Never throws: a failure is reported on standard error.
  ~mutex() {
    const int rc = pthread_mutex_destroy(&_handle);
    if (rc != 0) {
      std::fprintf(stderr, "Error in ~mutex: %s \n", std::strerror(rc));
    }
  }

  // Blocks. Throws when the calling thread already holds the mutex.
  void lock() {
    const int rc = pthread_mutex_lock(&_handle);
    if (rc != 0) {
      throw std::runtime_error(std::string("error acquiring the mutex: ") + std::strerror(rc));
    }
  }

  // Never blocks: false when the mutex is held (also by the calling thread).
  bool try_lock() {
    const int rc = pthread_mutex_trylock(&_handle);
    if (rc == 0) {
      return true;
    }
    if (rc == EBUSY) {
      return false;
    }
    throw std::runtime_error(std::string("error acquiring the mutex: ") + std::strerror(rc));
  }

  // Throws when the calling thread does not hold the mutex.
  void unlock() {
    const int rc = pthread_mutex_unlock(&_handle);
    if (rc != 0) {
      throw std::runtime_error(std::string("error releasing the mutex: ") + std::strerror(rc));
    }
  }

  pthread_mutex_t* native_handle() { return &_handle; }

private:
  pthread_mutex_t _handle;
};

}  // namespace Orvo
