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
  grow_pool(prototype, publisher_slots);
  _publishers.fetch_add(1);
}

void TopicChannel::remove_publisher() {
  std::lock_guard<mutex> guard(_setup_mutex);
  _spare_slots += publisher_slots;
  _publishers.fetch_sub(1);
}

std::unique_ptr<DeliveryQueue> TopicChannel::add_subscriber(const MessageBase& prototype,
                                                            size_t queue_size) {
  std::lock_guard<mutex> guard(_setup_mutex);
  auto queue = std::make_unique<DeliveryQueue>(queue_size);
  grow_pool(prototype, queue_size + 1);
  _subscribers.add(queue.get());
  _subscribers_count.fetch_add(1);
  return queue;
}

void TopicChannel::remove_subscriber(DeliveryQueue& queue) {
  std::lock_guard<mutex> guard(_setup_mutex);
  _subscribers.remove(&queue);
  _subscribers_count.fetch_sub(1);
  queue.clear();
  _spare_slots += queue.capacity() + 1;
}

bool TopicChannel::publish(std::shared_ptr<MessageBase>&& message) {
  std::shared_ptr<MessageBase> loan = std::move(message);
  MessageSlot* slot = _pool.slot_of(loan);
  if (slot == nullptr) {
    return false;
  }
  SubscriberTable::Reader reader(_subscribers);
  const auto& queues = reader.queues();
  // One reference per queue, taken at once; with no subscriber the message
  // is free again right away.
  if (!MessagePool::begin_publish(slot, static_cast<uint32_t>(queues.size()))) {
    return false;
  }
  loan.reset();
  for (DeliveryQueue* queue : queues) {
    queue->push(slot);
  }
  return true;
}

}  // namespace internal
}  // namespace Orvo
