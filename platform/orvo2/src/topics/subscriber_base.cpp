#include "orvo2/topics/subscriber_base.h"

#include <utility>

#include "orvo2/tasks/callback_queue.h"
#include "topic_channel.h"

namespace Orvo {
namespace {

// Gives a delivered message's reference back, also when the callback throws.
class DeliveryRelease {
public:
  explicit DeliveryRelease(internal::MessageSlot* slot) : _slot(slot) {}
  ~DeliveryRelease() { internal::MessagePool::release(_slot); }
  DeliveryRelease(const DeliveryRelease&) = delete;
  DeliveryRelease& operator=(const DeliveryRelease&) = delete;

private:
  internal::MessageSlot* _slot;
};

}  // namespace

SubscriberBase::SubscriberBase(std::shared_ptr<internal::TopicChannel> channel, internal::DeliveryQueue* queue,
                               Callback callback, std::string topic_name, std::string owner)
    : _channel(std::move(channel)),
      _queue(queue),
      _callback(std::move(callback)),
      _topic_name(std::move(topic_name)),
      _owner(std::move(owner)) {}

SubscriberBase::SubscriberBase(SubscriberBase&& other) noexcept
    : _channel(std::move(other._channel)),
      _queue(std::exchange(other._queue, nullptr)),
      _callback(std::move(other._callback)),
      _topic_name(std::move(other._topic_name)),
      _owner(std::move(other._owner)) {}

SubscriberBase::~SubscriberBase() {
  if (_channel && _queue) {
    _channel->remove_subscriber(*_queue);
  }
}

void SubscriberBase::setCallbackBase(Callback callback) { _callback = std::move(callback); }

int SubscriberBase::run() {
  if (!_queue) {
    return 0;
  }
  int delivered = 0;
  const size_t limit = _queue->capacity();
  for (size_t i = 0; i < limit; ++i) {
    internal::MessageSlot* slot = _queue->pop();
    if (slot == nullptr) {
      break;
    }
    DeliveryRelease release(slot);
    ++delivered;
    _callback(*slot->message);
    if (CallbackQueue::removed_while_running(this)) {
      break;  // taken off the queue draining it: its owner may be gone
    }
  }
  return delivered;
}

uint64_t SubscriberBase::dropped_count() const { return _queue ? _queue->dropped() : 0; }

int SubscriberBase::queue_size() const { return _queue ? static_cast<int>(_queue->capacity()) : 0; }

}  // namespace Orvo
