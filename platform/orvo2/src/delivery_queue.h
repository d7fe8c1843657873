#pragma once
// A subscriber's bounded queue of published messages. Any number of
// publishers push and the subscriber's thread pops, lock-free (a ring of
// cells with sequence numbers). A push into a full queue drops the oldest
// entry and counts the drop.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "message_slot.h"

namespace Orvo {
namespace internal {

class DeliveryQueue {
public:
  // Set-up only (allocates). `capacity` is at least 1.
  explicit DeliveryQueue(size_t capacity);
  DeliveryQueue(const DeliveryQueue&) = delete;
  DeliveryQueue& operator=(const DeliveryQueue&) = delete;

  // Publisher threads; never blocks, never allocates. Takes over the caller's
  // reference to `slot`. When the queue is full the oldest entry is dropped
  // (its reference released). The new entry is dropped instead while a pop
  // is still handing its cell back, or when other publishers keep taking the
  // freed cells. Every drop counts.
  void push(MessageSlot* slot);
  // Subscriber's thread; never blocks. The oldest entry (whose reference
  // passes to the caller) or null when empty.
  MessageSlot* pop();
  // Releases every pending entry.
  void clear();

  size_t capacity() const { return _capacity; }
  // Any thread.
  uint64_t dropped() const { return _dropped.load(std::memory_order_relaxed); }

private:
  // A cell's sequence says whom it waits for: empty_mark(pos) a push at
  // position pos, filled_mark(pos) the pop at pos. Distinct for every
  // capacity, a capacity of 1 included. A cell per cache line: the publisher
  // fills one while the subscriber empties its neighbour.
  struct alignas(64) Cell {
    std::atomic<uint64_t> sequence;
    MessageSlot* slot;
  };
  static uint64_t empty_mark(uint64_t pos) { return 2 * pos; }
  static uint64_t filled_mark(uint64_t pos) { return 2 * pos + 1; }
  bool try_push(MessageSlot* slot);

  size_t _capacity;
  std::unique_ptr<Cell[]> _cells;
  alignas(64) std::atomic<uint64_t> _push_pos{0};
  alignas(64) std::atomic<uint64_t> _pop_pos{0};
  alignas(64) std::atomic<uint64_t> _dropped{0};
};

}  // namespace internal
}  // namespace Orvo
