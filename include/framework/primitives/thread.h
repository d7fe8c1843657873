#pragma once
// Joinable pthread running a stored body. The object must outlive the thread:
// the thread receives a pointer to it.

#include <pthread.h>

#include <cstring>
#include <exception>
#include <functional>
#include <stdexcept>
#include <string>

namespace Orvo {

class thread {
public:
  // Starts the thread with SCHED_OTHER at priority 0. Throws
  // "unable to start thread:<text>" when pthread_create fails.
  explicit thread(std::function<void()> body) : _body(std::move(body)), _joinable(true) {
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setinheritsched(&attr, PTHREAD_EXPLICIT_SCHED);
    pthread_attr_setschedpolicy(&attr, SCHED_OTHER);
    sched_param param{};
    param.sched_priority = 0;
    pthread_attr_setschedparam(&attr, &param);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_JOINABLE);
    const int rc = pthread_create(&_handle, &attr, &thread::thread_main, this);
    if (rc != 0) {
      pthread_attr_destroy(&attr);
      _joinable = false;
      throw std::runtime_error(std::string("unable to start thread:") + std::strerror(rc));
    }
    pthread_attr_destroy(&attr);
  }

  thread(const thread&) = delete;
  thread& operator=(const thread&) = delete;

  // Like std::thread: destroying a thread that was never joined terminates.
  ~thread() {
    if (_joinable) {
      std::terminate();
    }
  }

  // Blocks until the body has returned.
  void join() {
    const int rc = pthread_join(_handle, nullptr);
    if (rc != 0) {
      throw std::runtime_error(std::string("error while joining thread: ") + std::strerror(rc));
    }
    _joinable = false;
  }

  bool joinable() const { return _joinable; }
  pthread_t native_handle() const { return _handle; }

  static void* thread_main(void* self) {
    static_cast<thread*>(self)->_body();
    return nullptr;
  }

private:
  pthread_t _handle{};
  std::function<void()> _body;
  bool _joinable;
};

}  // namespace Orvo
