#pragma once
// The delivery queues of a topic's subscribers, read by publishers without a
// lock or a counter. Queues are linked once and stay linked as long as the
// table lives, so a publisher that is walking the list never meets a freed
// queue: a subscriber that leaves closes its queue, and the next subscriber
// asking for the same capacity reopens it.
//
// A publisher counts the open queues, takes that many references on its
// message at once, then pushes one to each. Every opening of a queue gets a
// number; a publisher serves only the queues opened before it counted, so
// a queue opened between the count and the pushes cannot take the reference
// of a subscriber that was counted.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "delivery_queue.h"
#include "hidden_symbol.h"

namespace Orvo {
namespace internal {

class ORVO2_HIDDEN SubscriberTable {
public:
  SubscriberTable() = default;
  ~SubscriberTable();
  SubscriberTable(const SubscriberTable&) = delete;
  SubscriberTable& operator=(const SubscriberTable&) = delete;

  // Set-up only (allocates); callers serialise. An open, empty queue of
  // `capacity` entries for a new subscriber.
  DeliveryQueue& open(size_t capacity);
  // Set-up only; callers serialise. Closes the queue (see DeliveryQueue::close);
  // after it returns no entry is left in it and none can be added.
  void close(DeliveryQueue& queue);

  // Publisher threads; lock-free, never allocate. What a publisher saw when
  // it counted: the queues open at that time, served in deliver().
  struct Count {
    uint64_t openings;
    uint32_t queues;
  };
  Count count() const;
  // Pushes one reference to `slot` into each queue of the count that is still
  // open. Returns how many references were handed over (fewer than counted
  // when subscribers left meanwhile).
  uint32_t deliver(MessageSlot* slot, const Count& count);

private:
  // The queue's three lines; these two words share its last one, which
  // only set-up writes.
  struct alignas(64) Entry {
    explicit Entry(size_t capacity, uint64_t number) : queue(capacity), opening(number) {}
    DeliveryQueue queue;
    // Number of the queue's latest opening; written before it opens.
    std::atomic<uint64_t> opening;
    std::atomic<Entry*> next{nullptr};
  };
  static_assert(sizeof(Entry) == 192, "a subscriber's entry is three cache lines");
  static bool serves(const Entry& entry, uint64_t openings);

  // Openings so far, advanced after the queue opened.
  std::atomic<uint64_t> _openings{0};
  std::atomic<Entry*> _first{nullptr};
  // Set-up only.
  Entry* _last = nullptr;
};

}  // namespace internal
}  // namespace Orvo
