#pragma once
// Counts the malloc calls of the calling thread while in scope. Needs the
// allocation-hook library ahead of libc (orvo2_add_gtest/orvo2_add_bench with
// PRELOAD_HOOKS).
//
//   AllocCounter counter;
//   do_cycle();
//   EXPECT_EQ(counter.count(), 0u);

#include <cstddef>

#include "memory_hooks.h"

namespace Orvo {
namespace test {

class AllocCounter {
public:
  // Installs the counting hook in the calling thread, replacing any other.
  AllocCounter() {
    orvo2_set_malloc_hook([this](size_t size) {
      ++_count;
      _bytes += size;
    });
  }

  // Same thread as the constructor; removes the hook (no hook is restored).
  ~AllocCounter() { orvo2_set_malloc_hook(nullptr); }

  AllocCounter(const AllocCounter&) = delete;
  AllocCounter& operator=(const AllocCounter&) = delete;

  // Same thread as the constructor.
  size_t count() const { return _count; }
  size_t bytes() const { return _bytes; }
  void reset() {
    _count = 0;
    _bytes = 0;
  }

private:
  size_t _count = 0;
  size_t _bytes = 0;
};

}  // namespace test
}  // namespace Orvo
