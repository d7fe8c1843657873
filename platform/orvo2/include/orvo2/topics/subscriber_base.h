#pragma once
// Untyped receiving end of a topic: a bounded queue of its own (the queue
// size given at creation) that publishers fill and run() drains in the
// caller's thread. A full queue drops its oldest message and counts it.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "orvo2/topics/message_base.h"

namespace Orvo {

namespace internal {
class DeliveryQueue;
class TopicChannel;
}  // namespace internal

class SubscriberBase {
public:
  using Callback = std::function<void(const MessageBase&)>;

  SubscriberBase(SubscriberBase&& other) noexcept;
  SubscriberBase& operator=(SubscriberBase&&) = delete;
  SubscriberBase(const SubscriberBase&) = delete;
  SubscriberBase& operator=(const SubscriberBase&) = delete;
  // Set-up or tear-down thread; may wait briefly (yielding) for pushes under
  // way to land in its queue. Pending messages return to the pool; the queue
  // stays with the topic for the next subscriber of the same queue size.
  virtual ~SubscriberBase();

  // Set-up, or the thread that calls run(), never both at once; allocates.
  void setCallbackBase(Callback callback);

  // The subscriber's thread (its owner or its callback queue's owner);
  // lock-free, never allocates. Delivers the pending messages oldest first,
  // at most one queue's worth per call, and returns how many it delivered.
  // An exception from the callback (std::bad_function_call when it is empty)
  // leaves run() after the message went back to the pool; the rest stay queued.
  // Removed from the callback queue draining it (by its own callback, say),
  // it delivers nothing more in that drain.
  int run();

  // Any thread; never block, never allocate. Messages dropped because the
  // queue was full.
  uint64_t dropped_count() const;
  int queue_size() const;
  const std::string& getTopicName() const { return _topic_name; }
  const std::string& getOwner() const { return _owner; }

protected:
  // Made by Topic::make_subscriber_base.
  SubscriberBase(std::shared_ptr<internal::TopicChannel> channel, internal::DeliveryQueue* queue,
                 Callback callback, std::string topic_name, std::string owner);
  friend class Topic;

private:
  std::shared_ptr<internal::TopicChannel> _channel;
  // The channel's; closed when the subscriber goes.
  internal::DeliveryQueue* _queue;
  Callback _callback;
  std::string _topic_name;
  std::string _owner;
};

}  // namespace Orvo
