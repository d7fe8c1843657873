#include "message_pool.h"

namespace Orvo {
namespace internal {
namespace {

// Rounds over the whole pool before a loan is refused.
constexpr int scan_rounds = 3;

}  // namespace

MessagePool::~MessagePool() {
  Chunk* chunk = _head.load();
  while (chunk != nullptr) {
    Chunk* next = chunk->next.load();
    delete chunk;
    chunk = next;
  }
}

void MessagePool::add_slots(const MessageBase& prototype, size_t count) {
  if (count == 0) {
    return;
  }
  auto chunk = std::make_unique<Chunk>();
  chunk->slots = std::make_unique<MessageSlot[]>(count);
  chunk->count = count;
  for (size_t i = 0; i < count; ++i) {
    MessageSlot& slot = chunk->slots[i];
    slot.handle = std::shared_ptr<MessageBase>(prototype.clone().release(), SlotDeleter{&slot});
  }
  Chunk* added = chunk.release();
  if (_tail == nullptr) {
    _head.store(added, std::memory_order_release);
  } else {
    _tail->next.store(added, std::memory_order_release);
  }
  _tail = added;
  _size.fetch_add(count, std::memory_order_release);
}

std::shared_ptr<MessageBase> MessagePool::hand_out(MessageSlot& slot, uint64_t generation) {
  std::shared_ptr<MessageBase> loan = slot.handle;
  // Publishing the Loaned state after the copy lets a reclaiming thread trust
  // use_count(): while the loan is held it reads at least 2.
  slot.state.store(SlotState::make(generation, SlotState::Loaned), std::memory_order_release);
  return loan;
}

bool MessagePool::try_loan(MessageSlot& slot, std::shared_ptr<MessageBase>& out) {
  uint64_t word = slot.state.load(std::memory_order_acquire);
  const uint32_t low = SlotState::low(word);
  const uint64_t next = SlotState::make(SlotState::generation(word) + 1, SlotState::Loaning);
  if (low == SlotState::Free) {
    if (slot.state.compare_exchange_strong(word, next, std::memory_order_acq_rel)) {
      out = hand_out(slot, SlotState::generation(next));
      return true;
    }
  } else if (low == SlotState::Loaned && slot.handle.use_count() == 1) {
    // The holder dropped its loan without publishing; take it back. The
    // generation in `word` makes the exchange fail if the slot was published
    // and loaned again meanwhile.
    std::atomic_thread_fence(std::memory_order_acquire);
    if (slot.state.compare_exchange_strong(word, next, std::memory_order_acq_rel)) {
      out = hand_out(slot, SlotState::generation(next));
      return true;
    }
  }
  return false;
}

std::shared_ptr<MessageBase> MessagePool::loan() {
  // The first free slot: while the subscribers keep up, a publisher reuses
  // the same few messages, which stay in the cache however large the pool
  // (a device topic's pool holds a score of messages, and a robot's cycle
  // publishes on hundreds of topics).
  std::shared_ptr<MessageBase> out;
  // The pool always has a free slot, but with several publishers the free
  // ones can move behind the scan while those ahead are taken: a few rounds.
  for (int round = 0; round < scan_rounds; ++round) {
    for (Chunk* chunk = _head.load(std::memory_order_acquire); chunk != nullptr;
         chunk = chunk->next.load(std::memory_order_acquire)) {
      for (size_t i = 0; i < chunk->count; ++i) {
        if (try_loan(chunk->slots[i], out)) {
          return out;
        }
      }
    }
  }
  return nullptr;
}

MessageSlot* MessagePool::slot_of(const std::shared_ptr<MessageBase>& message) const {
  const SlotDeleter* deleter = std::get_deleter<SlotDeleter>(message);
  if (deleter == nullptr) {
    return nullptr;
  }
  for (Chunk* chunk = _head.load(std::memory_order_acquire); chunk != nullptr;
       chunk = chunk->next.load(std::memory_order_acquire)) {
    const MessageSlot* first = chunk->slots.get();
    if (deleter->slot >= first && deleter->slot < first + chunk->count) {
      return deleter->slot;
    }
  }
  return nullptr;
}

bool MessagePool::begin_publish(MessageSlot* slot, uint32_t references) {
  uint64_t word = slot->state.load(std::memory_order_acquire);
  if (SlotState::low(word) != SlotState::Loaned) {
    return false;
  }
  return slot->state.compare_exchange_strong(word, SlotState::make(SlotState::generation(word), references),
                                             std::memory_order_acq_rel);
}

void MessagePool::release(MessageSlot* slot) { slot->state.fetch_sub(1, std::memory_order_acq_rel); }

size_t MessagePool::free_count() const {
  size_t free = 0;
  for (Chunk* chunk = _head.load(std::memory_order_acquire); chunk != nullptr;
       chunk = chunk->next.load(std::memory_order_acquire)) {
    for (size_t i = 0; i < chunk->count; ++i) {
      const MessageSlot& slot = chunk->slots[i];
      const uint32_t low = SlotState::low(slot.state.load(std::memory_order_acquire));
      if (low == SlotState::Free || (low == SlotState::Loaned && slot.handle.use_count() == 1)) {
        ++free;
      }
    }
  }
  return free;
}

}  // namespace internal
}  // namespace Orvo
