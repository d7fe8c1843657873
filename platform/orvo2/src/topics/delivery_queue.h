#pragma once
// A subscriber's bounded queue of published messages. Any number of
// publishers push and the subscriber's thread pops, lock-free (a ring of
// cells with sequence numbers). A push into a full queue drops the oldest
// entry and counts the drop.
//
// A queue outlives its subscriber: publishers read the topic's queues
// without a lock and may still hold this one after the subscriber left.
// close() makes later pushes fail and gives back every entry; reopen()
// serves the next subscriber that asks for the same capacity.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "hidden_symbol.h"
#include "message_slot.h"

namespace Orvo {
namespace internal {

class ORVO2_HIDDEN DeliveryQueue {
public:
  // Set-up only (allocates). `capacity` is at least 1.
  explicit DeliveryQueue(size_t capacity);
  DeliveryQueue(const DeliveryQueue&) = delete;
  DeliveryQueue& operator=(const DeliveryQueue&) = delete;

  // Publisher threads; never blocks, never allocates. Takes over the caller's
  // reference to `slot` and returns true, unless the queue is closed (false:
  // the reference stays with the caller). When the queue is full the oldest
  // entry is dropped (its reference released). The new entry is dropped
  // instead while a pop is still handing its cell back, or when other
  // publishers keep taking the freed cells. Every drop counts.
  bool push(MessageSlot* slot);
  // Subscriber's thread (and publishers evicting); never blocks. The oldest
  // entry (whose reference passes to the caller) or null when empty.
  MessageSlot* pop();

  // Set-up only; callers serialise. close() refuses later pushes and releases
  // every entry, waiting (yielding) for pushes already under way to land.
  void close();
  // Reopens a closed queue, empty, with its drop count at zero.
  void reopen();

  // Any thread.
  bool is_open() const { return (_push_word.load(std::memory_order_acquire) & closed_bit) == 0; }
  size_t capacity() const { return _capacity; }
  uint64_t dropped() const { return _dropped.load(std::memory_order_relaxed); }

private:
  enum class PushResult { Pushed, Full, Closed };

  // A cell's sequence says whom it waits for: empty_mark(pos) a push at
  // position pos, filled_mark(pos) the pop at pos. Distinct for every
  // capacity, a capacity of 1 included. Cells are packed (16 bytes each), so
  // that a subscriber that keeps up finds the next entry in the line of the
  // last one.
  struct Cell {
    std::atomic<uint64_t> sequence;
    MessageSlot* slot;
  };
  static uint64_t empty_mark(uint64_t pos) { return 2 * pos; }
  static uint64_t filled_mark(uint64_t pos) { return 2 * pos + 1; }
  PushResult try_push(MessageSlot* slot);
  uint64_t pushed() const { return _push_word.load(std::memory_order_relaxed) >> 1; }

  // The push word holds the next push position shifted left by one and the
  // closed flag in bit 0, so that a push and a close cannot cross.
  static constexpr uint64_t closed_bit = 1;

  // Three lines, when the owner places the queue at the start of one: the
  // subscriber's word, the publishers' words, and the words that only set-up
  // writes (with room for 32 bytes of the owner's). A publisher and a
  // subscriber in different threads then never write a line that the other
  // reads at every record, apart from the cells.
  std::atomic<uint64_t> _pop_pos{0};
  unsigned char _rest_of_subscriber_line[56];
  std::atomic<uint64_t> _push_word{0};
  std::atomic<uint64_t> _dropped{0};
  unsigned char _rest_of_publishers_line[48];
  size_t _capacity;
  std::unique_ptr<Cell[]> _cells;
};

}  // namespace internal
}  // namespace Orvo
