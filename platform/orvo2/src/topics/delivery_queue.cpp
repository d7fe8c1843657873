#include "delivery_queue.h"

#include <sched.h>

#include "message_pool.h"

namespace Orvo {
namespace internal {
namespace {

// Rounds of evicting the oldest entry and pushing again before the new entry
// is dropped instead; more than one only while other publishers race for the
// freed cells.
constexpr int push_attempts = 3;

}  // namespace

DeliveryQueue::DeliveryQueue(size_t capacity)
    : _capacity(capacity), _cells(std::make_unique<Cell[]>(capacity)) {
  for (size_t i = 0; i < capacity; ++i) {
    _cells[i].sequence.store(empty_mark(i), std::memory_order_relaxed);
    _cells[i].slot = nullptr;
  }
}

DeliveryQueue::PushResult DeliveryQueue::try_push(MessageSlot* slot) {
  uint64_t word = _push_word.load(std::memory_order_relaxed);
  for (;;) {
    if ((word & closed_bit) != 0) {
      return PushResult::Closed;
    }
    const uint64_t pos = word >> 1;
    Cell& cell = _cells[pos % _capacity];
    const uint64_t sequence = cell.sequence.load(std::memory_order_acquire);
    const int64_t diff = static_cast<int64_t>(sequence - empty_mark(pos));
    if (diff == 0) {
      if (_push_word.compare_exchange_weak(word, word + 2, std::memory_order_relaxed)) {
        cell.slot = slot;
        cell.sequence.store(filled_mark(pos), std::memory_order_release);
        return PushResult::Pushed;
      }
    } else if (diff < 0) {
      return PushResult::Full;
    } else {
      word = _push_word.load(std::memory_order_relaxed);
    }
  }
}

MessageSlot* DeliveryQueue::pop() {
  uint64_t pos = _pop_pos.load(std::memory_order_relaxed);
  for (;;) {
    Cell& cell = _cells[pos % _capacity];
    const uint64_t sequence = cell.sequence.load(std::memory_order_acquire);
    const int64_t diff = static_cast<int64_t>(sequence - filled_mark(pos));
    if (diff == 0) {
      if (_pop_pos.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
        MessageSlot* slot = cell.slot;
        cell.sequence.store(empty_mark(pos + _capacity), std::memory_order_release);
        return slot;
      }
    } else if (diff < 0) {
      return nullptr;  // empty, or the next entry is still being written
    } else {
      pos = _pop_pos.load(std::memory_order_relaxed);
    }
  }
}

bool DeliveryQueue::push(MessageSlot* slot) {
  for (int attempt = 0; attempt < push_attempts; ++attempt) {
    const PushResult result = try_push(slot);
    if (result == PushResult::Pushed) {
      return true;
    }
    if (result == PushResult::Closed) {
      return false;
    }
    // The cell ahead is still taken. Evict the oldest entry only when the
    // queue really holds `capacity` entries: otherwise a pop is just handing
    // its cell back, and waiting for it is not ours to do.
    if (pushed() - _pop_pos.load(std::memory_order_relaxed) < _capacity) {
      break;
    }
    if (MessageSlot* oldest = pop()) {
      _dropped.fetch_add(1, std::memory_order_relaxed);
      MessagePool::release(oldest);
    }
  }
  _dropped.fetch_add(1, std::memory_order_relaxed);
  MessagePool::release(slot);
  return true;
}

void DeliveryQueue::close() {
  // Every position below `end` was taken by a push before the close; some
  // may still be writing their cell.
  const uint64_t end = _push_word.fetch_or(closed_bit, std::memory_order_acq_rel) >> 1;
  while (_pop_pos.load(std::memory_order_acquire) < end) {
    if (MessageSlot* slot = pop()) {
      MessagePool::release(slot);
    } else {
      sched_yield();
    }
  }
}

void DeliveryQueue::reopen() {
  _dropped.store(0, std::memory_order_relaxed);
  _push_word.store(_pop_pos.load(std::memory_order_relaxed) << 1, std::memory_order_release);
}

}  // namespace internal
}  // namespace Orvo
