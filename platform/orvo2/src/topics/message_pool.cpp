#include "message_pool.h"

#include <mutex>

#include "framework/primitives/mutex.h"

namespace Orvo {
namespace internal {
namespace {

// Rounds over the whole pool before a claim is refused: the pool always has
// a free slot, but with several publishers the free ones can move behind the
// walk while those ahead are taken.
constexpr size_t scan_rounds = 3;

}  // namespace

// Only a loan kept after its topic is gone gets here: it goes on using its
// message and its slot, so their run stays allocated (and reachable) for the
// rest of the process.
void MessagePool::keep_for_late_loan(std::unique_ptr<SlotRun> run) {
  static mutex* guard = new mutex;
  static auto* kept = new std::vector<std::unique_ptr<SlotRun>>;
  std::lock_guard<mutex> lock(*guard);
  kept->push_back(std::move(run));
}

MessagePool::~MessagePool() {
  for (std::unique_ptr<SlotRun>& run : _runs) {
    for (size_t i = 0; i < run->count; ++i) {
      if (run->slots[i].handle_alive.load(std::memory_order_acquire)) {
        keep_for_late_loan(std::move(run));
        break;
      }
    }
  }
}

void MessagePool::add_slots(const MessageBase& prototype, size_t count) {
  if (count == 0) {
    return;
  }
  auto run = std::make_unique<SlotRun>();
  run->slots = std::make_unique<MessageSlot[]>(count);
  run->count = count;
  run->messages.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    run->messages.push_back(prototype.clone());
    run->slots[i].message = run->messages.back().get();
  }
  SlotRun* added = run.get();
  if (_runs.empty()) {
    _first_slot.store(&added->slots[0], std::memory_order_release);
    _first.store(added, std::memory_order_release);
  } else {
    _runs.back()->next.store(added, std::memory_order_release);
  }
  _runs.push_back(std::move(run));
  _size.fetch_add(count, std::memory_order_release);
}

void MessagePool::reseed_free_slots(const MessageBase& prototype) {
  for (std::unique_ptr<SlotRun>& run : _runs) {
    for (size_t i = 0; i < run->count; ++i) {
      MessageSlot& slot = run->slots[i];
      if (is_free(slot, slot.state.load(std::memory_order_acquire))) {
        run->messages[i] = prototype.clone();
        slot.message = run->messages[i].get();
      }
    }
  }
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
  // The first free slot: while the subscribers keep up, a publisher reuses
  // the same few messages, which stay in the cache however large the pool (a
  // device topic's pool holds a score of messages, and a robot's cycle
  // publishes on hundreds of topics). With several publishers the free slots
  // can move behind the scan while those ahead are taken: a few rounds.
  MessageSlot* first = _first_slot.load(std::memory_order_acquire);
  if (first == nullptr) {
    return nullptr;
  }
  if (try_claim(*first)) {
    return first;
  }
  for (size_t round = 0; round < scan_rounds; ++round) {
    for (SlotRun* run = _first.load(std::memory_order_acquire); run != nullptr;
         run = run->next.load(std::memory_order_acquire)) {
      for (size_t i = 0; i < run->count; ++i) {
        if (try_claim(run->slots[i])) {
          return &run->slots[i];
        }
      }
    }
  }
  return nullptr;
}

MessageSlot* MessagePool::slot_of(const std::shared_ptr<MessageBase>& message) const {
  const LoanDeleter* deleter = std::get_deleter<LoanDeleter>(message);
  if (deleter == nullptr || deleter->pool != this) {
    return nullptr;
  }
  // The deleter lives in the loan's control block, in its slot's room.
  return slot_of_handle(deleter);
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
  for (SlotRun* run = _first.load(std::memory_order_acquire); run != nullptr;
       run = run->next.load(std::memory_order_acquire)) {
    for (size_t i = 0; i < run->count; ++i) {
      free += is_free(run->slots[i], run->slots[i].state.load(std::memory_order_acquire)) ? 1 : 0;
    }
  }
  return free;
}

}  // namespace internal
}  // namespace Orvo
