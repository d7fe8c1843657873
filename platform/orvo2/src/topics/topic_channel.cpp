#include "topic_channel.h"

#include <algorithm>
#include <mutex>

namespace Orvo {
namespace internal {

void TopicChannel::grow_pool(const MessageBase& prototype, size_t needed) {
  const size_t reused = std::min(needed, _spare_slots);
  _spare_slots -= reused;
  _pool.add_slots(prototype, needed - reused);
}

void TopicChannel::add_publisher(const MessageBase& prototype) {
  std::lock_guard<mutex> guard(_setup_mutex);
  if (_publishers.load() == 0) {
    // Slots made for subscribers before any publisher hold default messages;
    // a loan must start from the publisher's prototype (sized vectors, set
    // fields), so that filling it in the cycle never allocates.
    _pool.reseed_free_slots(prototype);
    _seed = prototype.clone();
  }
  grow_pool(prototype, publisher_slots);
  _publishers.fetch_add(1);
  update_watches();
}

void TopicChannel::remove_publisher() {
  std::lock_guard<mutex> guard(_setup_mutex);
  _spare_slots += publisher_slots;
  _publishers.fetch_sub(1);
  update_watches();
}

DeliveryQueue& TopicChannel::add_subscriber(const MessageBase& prototype, size_t queue_size) {
  std::lock_guard<mutex> guard(_setup_mutex);
  grow_pool(_seed ? *_seed : prototype, queue_size + 1);
  DeliveryQueue& queue = _subscribers.open(queue_size);
  _subscribers_count.fetch_add(1);
  update_watches();
  return queue;
}

void TopicChannel::remove_subscriber(DeliveryQueue& queue) {
  std::lock_guard<mutex> guard(_setup_mutex);
  _subscribers.close(queue);
  _subscribers_count.fetch_sub(1);
  _spare_slots += queue.capacity() + 1;
  update_watches();
}

void TopicChannel::watch(TopicCounts& counts) {
  std::lock_guard<mutex> guard(_setup_mutex);
  _watches.push_back(&counts);
  update_watches();
}

void TopicChannel::unwatch(TopicCounts& counts) {
  std::lock_guard<mutex> guard(_setup_mutex);
  _watches.erase(std::remove(_watches.begin(), _watches.end(), &counts), _watches.end());
}

void TopicChannel::update_watches() {
  for (TopicCounts* counts : _watches) {
    counts->publishers.store(static_cast<uint32_t>(_publishers.load()), std::memory_order_release);
    counts->subscribers.store(static_cast<uint32_t>(_subscribers_count.load()), std::memory_order_release);
  }
}

LoanClaim TopicChannel::claim_loan() {
  MessageSlot* slot = _pool.claim();
  return slot == nullptr ? LoanClaim{} : LoanClaim{&_pool, slot, slot->message};
}

bool TopicChannel::publish(std::shared_ptr<MessageBase>&& message) {
  std::shared_ptr<MessageBase> loan = std::move(message);
  MessageSlot* slot = _pool.slot_of(loan);
  if (slot == nullptr) {
    return false;
  }
  // One reference per open queue, taken at once; with no subscriber the
  // message is free again as soon as the loan's handle is gone.
  const SubscriberTable::Count count = _subscribers.count();
  if (!MessagePool::begin_publish(slot, count.queues)) {
    return false;
  }
  // Usually the last copy of the handle: the slot learns the loan ended.
  loan.reset();
  // Subscribers that left since the count: their references come back here.
  for (uint32_t left = count.queues - _subscribers.deliver(slot, count); left > 0; --left) {
    MessagePool::release(slot);
  }
  return true;
}

}  // namespace internal
}  // namespace Orvo
