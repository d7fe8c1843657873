#include "orvo2/topics/topic.h"

#include <fmt/format.h>

#include "framework/typed/callback_queue_runnable.h"
#include "orvo2/topics/type_identity.h"
#include "orvo2/type_names/demangle.h"
#include "topic_channel.h"

namespace Orvo {
namespace {

struct PublisherBaseMaker : PublisherBase {
  PublisherBaseMaker(std::shared_ptr<internal::TopicChannel> channel, std::string topic_name,
                     std::string owner)
      : PublisherBase(std::move(channel), std::move(topic_name), std::move(owner)) {}
};

struct SubscriberBaseMaker : SubscriberBase {
  SubscriberBaseMaker(std::shared_ptr<internal::TopicChannel> channel, internal::DeliveryQueue* queue,
                      Callback callback, std::string topic_name, std::string owner)
      : SubscriberBase(std::move(channel), queue, std::move(callback), std::move(topic_name),
                       std::move(owner)) {}
};

}  // namespace

Topic::Topic(std::string name, const std::type_info& type, const MessageBase& prototype)
    : _name(std::move(name)),
      _type(type),
      _prototype(prototype.clone()),
      _channel(std::make_shared<internal::TopicChannel>()) {
  if (!same_type(type, prototype.getTypeInfo())) {
    throw std::invalid_argument(fmt::format("Topic '{}' of type {} given a prototype of type {}", _name,
                                            demangle(type), demangle(prototype.getTypeInfo())));
  }
}

Topic::~Topic() = default;

std::string Topic::getTypeName() const { return demangle(_type); }

std::shared_ptr<PublisherBase> Topic::make_publisher_base(const MessageBase& prototype,
                                                          std::string owner) {
  if (!same_type(_type, prototype.getTypeInfo())) {
    throw std::invalid_argument(fmt::format("make_publisher_base: topic '{}' of type {} given a prototype of type {}",
                                            _name, getTypeName(), demangle(prototype.getTypeInfo())));
  }
  _channel->add_publisher(prototype);
  return std::make_shared<PublisherBaseMaker>(_channel, _name, std::move(owner));
}

std::shared_ptr<SubscriberBase> Topic::make_subscriber_base(std::function<void(const MessageBase&)> callback,
                                                            CallbackQueue* queue, int queue_size,
                                                            std::string owner) {
  if (queue_size < 1) {
    throw std::invalid_argument(fmt::format("make_subscriber_base: queue size {} for topic '{}' (owner '{}') is below 1",
                                            queue_size, _name, owner));
  }
  internal::DeliveryQueue& delivery = _channel->add_subscriber(*_prototype, static_cast<size_t>(queue_size));
  std::shared_ptr<SubscriberBase> subscriber = std::make_shared<SubscriberBaseMaker>(
      _channel, &delivery, std::move(callback), _name, std::move(owner));
  if (queue != nullptr) {
    queue->addRunnable(subscriber);
  }
  return subscriber;
}

int Topic::publisher_count() const { return _channel->publisher_count(); }
size_t Topic::subscriber_count() const { return _channel->subscriber_count(); }
size_t Topic::pool_size() const { return _channel->pool_size(); }
size_t Topic::free_loans() const { return _channel->free_loans(); }

}  // namespace Orvo
