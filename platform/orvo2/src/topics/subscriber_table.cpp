#include "subscriber_table.h"

namespace Orvo {
namespace internal {

SubscriberTable::~SubscriberTable() {
  Entry* entry = _first.load(std::memory_order_acquire);
  while (entry != nullptr) {
    Entry* next = entry->next.load(std::memory_order_acquire);
    delete entry;
    entry = next;
  }
}

DeliveryQueue& SubscriberTable::open(size_t capacity) {
  const uint64_t number = _openings.load(std::memory_order_relaxed) + 1;
  Entry* opened = nullptr;
  for (Entry* entry = _first.load(std::memory_order_acquire); entry != nullptr && opened == nullptr;
       entry = entry->next.load(std::memory_order_acquire)) {
    if (!entry->queue.is_open() && entry->queue.capacity() == capacity) {
      entry->opening.store(number, std::memory_order_relaxed);
      entry->queue.reopen();
      opened = entry;
    }
  }
  if (opened == nullptr) {
    opened = new Entry(capacity, number);
    if (_last == nullptr) {
      _first.store(opened, std::memory_order_release);
    } else {
      _last->next.store(opened, std::memory_order_release);
    }
    _last = opened;
  }
  _openings.store(number, std::memory_order_release);
  return opened->queue;
}

void SubscriberTable::close(DeliveryQueue& queue) { queue.close(); }

bool SubscriberTable::serves(const Entry& entry, uint64_t openings) {
  // is_open() reads with acquire: a queue seen open shows its opening number.
  return entry.queue.is_open() && entry.opening.load(std::memory_order_relaxed) <= openings;
}

SubscriberTable::Count SubscriberTable::count() const {
  Count count{_openings.load(std::memory_order_acquire), 0};
  for (Entry* entry = _first.load(std::memory_order_acquire); entry != nullptr;
       entry = entry->next.load(std::memory_order_acquire)) {
    count.queues += serves(*entry, count.openings) ? 1 : 0;
  }
  return count;
}

uint32_t SubscriberTable::deliver(MessageSlot* slot, const Count& count) {
  uint32_t delivered = 0;
  for (Entry* entry = _first.load(std::memory_order_acquire); entry != nullptr && delivered < count.queues;
       entry = entry->next.load(std::memory_order_acquire)) {
    if (serves(*entry, count.openings) && entry->queue.push(slot)) {
      ++delivered;
    }
  }
  return delivered;
}

}  // namespace internal
}  // namespace Orvo
