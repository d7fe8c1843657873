#pragma once
// Fetching memory ahead of its use. A worker thread sleeps for most of its
// period, and by its next cycle what it touched has left the core's caches: a
// loop over devices or joints asks for the lines of an element a few turns
// ahead, so that their misses overlap instead of following one another.

#include <cstddef>

namespace Orvo {

// Any thread; never blocks, allocates or faults (a prefetch is only a hint).
// Asks for every 64-byte line of the `bytes` bytes at `first`, to be read.
inline void prefetch_lines(const void* first, size_t bytes) noexcept {
  const char* const begin = static_cast<const char*>(first);
  for (size_t offset = 0; offset < bytes; offset += 64) {
    __builtin_prefetch(begin + offset);
  }
}

}  // namespace Orvo
