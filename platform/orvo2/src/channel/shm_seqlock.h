#pragma once
// Sequence-lock access to one slot of a channel segment. One writer per slot;
// readers never block the writer and the writer never waits for readers.
// No allocation, no system call.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "orvo2/channel/shm_channel_layout.h"

namespace Orvo {
namespace shm {

// How often a reader retries a slot that changed under it before giving up
// for this cycle.
constexpr int kSeqlockReadAttempts = 8;

inline unsigned char* slot_data(SlotHeader* slot) {
  return reinterpret_cast<unsigned char*>(slot) + kSlotDataOffset;
}

// Brackets one write of a slot: odd while alive, even again when destroyed,
// also when the copy in between throws. A counter left odd by a writer that
// died mid-copy is rounded up, so the next write still goes odd then even.
class SeqlockWriteGuard {
public:
  explicit SeqlockWriteGuard(SlotHeader* slot)
      : _slot(slot), _base((slot->seq.load(std::memory_order_relaxed) + 1) & ~std::uint64_t{1}) {
    _slot->seq.store(_base + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
  }
  ~SeqlockWriteGuard() { _slot->seq.store(_base + 2, std::memory_order_release); }
  SeqlockWriteGuard(const SeqlockWriteGuard&) = delete;
  SeqlockWriteGuard& operator=(const SeqlockWriteGuard&) = delete;

private:
  SlotHeader* _slot;
  std::uint64_t _base;
};

// Copies a stable image of the slot's `size` bytes into `dst` and gives the
// sequence it belongs to. False when the slot kept changing (or was left odd
// by a writer that died); `dst` then holds garbage.
inline bool seqlock_read(SlotHeader* slot, unsigned char* dst, std::size_t size,
                         std::uint64_t* seq_out) {
  const unsigned char* src = slot_data(slot);
  for (int attempt = 0; attempt < kSeqlockReadAttempts; ++attempt) {
    const std::uint64_t before = slot->seq.load(std::memory_order_acquire);
    if ((before & 1u) != 0) {
      continue;
    }
    std::memcpy(dst, src, size);
    std::atomic_thread_fence(std::memory_order_acquire);
    if (slot->seq.load(std::memory_order_relaxed) == before) {
      *seq_out = before;
      return true;
    }
  }
  return false;
}

}  // namespace shm
}  // namespace Orvo
