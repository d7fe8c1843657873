#include "message_pool.h"

#include <mutex>

#include "framework/mutex.h"

namespace Orvo {
namespace internal {
namespace {

// Rounds over the whole pool before a claim is refused: the pool always has
// a free slot, but with several publishers the free ones can move behind the
// walk while those ahead are taken.
constexpr size_t scan_rounds = 3;

// A chunk that still had a loan's handle alive when its pool went: the loan
// goes on using its message and its slot, so the chunk stays allocated (and
// reachable) for the rest of the process. Only a loan kept after its topic
// is gone gets here.
void keep_for_late_loan(std::unique_ptr<MessageSlot[]> chunk) {
  static mutex* guard = new mutex;
  static auto* kept = new std::vector<std::unique_ptr<MessageSlot[]>>;
  std::lock_guard<mutex> lock(*guard);
  kept->push_back(std::move(chunk));
}

}  // namespace

MessagePool::~MessagePool() {
  for (size_t c = 0; c < _chunks.size(); ++c) {
    for (size_t i = 0; i < _chunk_sizes[c]; ++i) {
      if (_chunks[c][i].handle_alive.load(std::memory_order_acquire)) {
        keep_for_late_loan(std::move(_chunks[c]));
        break;
      }
    }
  }
}

void MessagePool::add_slots(const MessageBase& prototype, size_t count) {
  if (count == 0) {
    return;
  }
  auto chunk = std::make_unique<MessageSlot[]>(count);
  for (size_t i = 0; i < count; ++i) {
    chunk[i].pool = this;
    chunk[i].message = prototype.clone();
    if (i + 1 < count) {
      chunk[i].next.store(&chunk[i + 1], std::memory_order_relaxed);
    }
  }
  MessageSlot* first = &chunk[0];
  MessageSlot* last = &chunk[count - 1];
  _chunks.push_back(std::move(chunk));
  _chunk_sizes.push_back(count);
  if (_last == nullptr) {
    _first.store(first, std::memory_order_release);
  } else {
    _last->next.store(first, std::memory_order_release);
  }
  _last = last;
  _size.fetch_add(count, std::memory_order_release);
}

void MessagePool::reseed_free_slots(const MessageBase& prototype) {
  for (size_t c = 0; c < _chunks.size(); ++c) {
    for (size_t i = 0; i < _chunk_sizes[c]; ++i) {
      MessageSlot& slot = _chunks[c][i];
      if (is_free(slot, slot.state.load(std::memory_order_acquire))) {
        slot.message = prototype.clone();
      }
    }
  }
}

MessageSlot* MessagePool::following(MessageSlot* slot) const {
  MessageSlot* next = slot->next.load(std::memory_order_acquire);
  return next != nullptr ? next : _first.load(std::memory_order_acquire);
}

bool MessagePool::is_free(const MessageSlot& slot, uint64_t word) {
  return SlotState::low(word) == SlotState::Free && !slot.handle_alive.load(std::memory_order_acquire);
}

bool MessagePool::try_claim(MessageSlot& slot) {
  uint64_t word = slot.state.load(std::memory_order_acquire);
  if (!is_free(slot, word)) {
    return false;
  }
  // The handle was gone when the slot read free with this generation; only
  // a claim, which advances the generation, brings a handle back. So the
  // exchange succeeds only while the room for the handle is unused.
  const uint64_t loaned = SlotState::make(SlotState::generation(word) + 1, SlotState::Loaned);
  if (!slot.state.compare_exchange_strong(word, loaned, std::memory_order_acquire,
                                          std::memory_order_relaxed)) {
    return false;
  }
  slot.handle_alive.store(true, std::memory_order_relaxed);
  return true;
}

MessageSlot* MessagePool::claim() {
  const size_t total = size();
  if (total == 0) {
    return nullptr;
  }
  // The first free slot: while the subscribers keep up, a publisher reuses
  // the same few messages, which stay in the cache however large the pool (a
  // device topic's pool holds a score of messages, and a robot's cycle
  // publishes on hundreds of topics). With several publishers the free slots
  // can move behind the scan while those ahead are taken: a few rounds.
  MessageSlot* slot = _first.load(std::memory_order_acquire);
  for (size_t visited = 0; visited < scan_rounds * total; ++visited) {
    if (try_claim(*slot)) {
      return slot;
    }
    slot = following(slot);
  }
  return nullptr;
}

MessageSlot* MessagePool::slot_of(const std::shared_ptr<MessageBase>& message) const {
  const LoanDeleter* deleter = std::get_deleter<LoanDeleter>(message);
  if (deleter == nullptr || deleter->slot->pool != this) {
    return nullptr;
  }
  return deleter->slot;
}

bool MessagePool::begin_publish(MessageSlot* slot, uint32_t references) {
  uint64_t word = slot->state.load(std::memory_order_relaxed);
  if (SlotState::low(word) != SlotState::Loaned) {
    return false;
  }
  // Another holder of a copy of the loan may publish it at the same time:
  // only one exchange succeeds.
  return slot->state.compare_exchange_strong(word, SlotState::make(SlotState::generation(word), references),
                                             std::memory_order_acq_rel, std::memory_order_relaxed);
}

void MessagePool::release(MessageSlot* slot) {
  // References are only ever given back after the publish, so a count of one
  // is the caller's own: nobody else writes the word until the slot is free,
  // and a plain store does. The acquire keeps the other holders' reads of the
  // message ahead of the next loan's writes.
  const uint64_t word = slot->state.load(std::memory_order_acquire);
  if (SlotState::low(word) == 1) {
    slot->state.store(SlotState::make(SlotState::generation(word), SlotState::Free), std::memory_order_release);
  } else {
    slot->state.fetch_sub(1, std::memory_order_release);
  }
}

void MessagePool::end_handle(MessageSlot* slot) {
  // No copy of the loan is left, so nobody can publish it any more: a slot
  // still Loaned was dropped and nothing else touches its state.
  const uint64_t word = slot->state.load(std::memory_order_relaxed);
  if (SlotState::low(word) == SlotState::Loaned) {
    slot->state.store(SlotState::make(SlotState::generation(word), SlotState::Free), std::memory_order_release);
  }
  slot->handle_alive.store(false, std::memory_order_release);
}

size_t MessagePool::free_count() const {
  size_t free = 0;
  const size_t total = size();
  MessageSlot* slot = _first.load(std::memory_order_acquire);
  for (size_t i = 0; i < total && slot != nullptr; ++i) {
    if (is_free(*slot, slot->state.load(std::memory_order_acquire))) {
      ++free;
    }
    slot = slot->next.load(std::memory_order_acquire);
  }
  return free;
}

}  // namespace internal
}  // namespace Orvo
