#pragma once
// Writer-preferring multi-reader lock. While no writer is about, a reader pays
// one atomic increment and one load to enter and one decrement to leave, and
// never touches an operating-system lock. Writers are rare (registration) and
// spin until the readers inside have left.

#include <atomic>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>

#include "framework/primitives/condition_variable.h"
#include "framework/primitives/mutex.h"

namespace Orvo {

class multireader_mutex {
public:
  multireader_mutex() = default;
  multireader_mutex(const multireader_mutex&) = delete;
  multireader_mutex& operator=(const multireader_mutex&) = delete;

  // Writer side: one writer at a time; may block and spins on readers.
  inline void lock() {
    _writer_mutex.lock();
    _writer.store(true);
    std::atomic_thread_fence(std::memory_order_seq_cst);
    while (_readers.load() != 0) {
    }
  }
  void unlock();

  // Reader side: real-time safe while no writer is present. Shared holds
  // must not nest: a nested request waits for a writer that waits for us.
  void lock_shared();
  inline void unlock_shared() { _readers.fetch_sub(1); }

private:
  // The count and the flag sit on separate cache lines: readers write the
  // count, and their check of the flag then stays a local cache hit.
  alignas(64) std::atomic<int32_t> _readers{0};
  alignas(64) std::atomic<bool> _writer{false};
  mutex _writer_mutex;
  mutex _cond_mutex;
  condition_variable _cond;
};

__attribute__((noinline)) inline void multireader_mutex::lock_shared() {
  for (;;) {
    if (_writer.load()) {
      _cond_mutex.lock();
      while (_writer.load()) {
        const int rc = pthread_cond_wait(_cond.native_handle(), _cond_mutex.native_handle());
        if (rc != 0) {
          throw std::runtime_error(std::string("error in pthread_cond_wait: ") + std::strerror(rc));
        }
      }
      _cond_mutex.unlock();
    }
    _readers.fetch_add(1);
    if (!_writer.load()) {
      return;
    }
    _readers.fetch_sub(1);
  }
}

__attribute__((noinline)) inline void multireader_mutex::unlock() {
  _cond_mutex.lock();
  _writer.store(false);
  std::atomic_thread_fence(std::memory_order_seq_cst);
  const int rc = pthread_cond_broadcast(_cond.native_handle());
  if (rc != 0) {
    throw std::runtime_error(std::string("error in pthread_cond_broadcast: ") + std::strerror(rc));
  }
  _cond_mutex.unlock();
  _writer_mutex.unlock();
}

}  // namespace Orvo
