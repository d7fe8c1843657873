#include "orvo2/publisher_base.h"

#include "topic_channel.h"

namespace Orvo {

PublisherBase::PublisherBase(std::shared_ptr<internal::TopicChannel> channel, std::string topic_name,
                             std::string owner)
    : _channel(std::move(channel)), _topic_name(std::move(topic_name)), _owner(std::move(owner)) {}

PublisherBase::PublisherBase(PublisherBase&& other) noexcept
    : _channel(std::move(other._channel)),
      _topic_name(std::move(other._topic_name)),
      _owner(std::move(other._owner)) {}

PublisherBase::~PublisherBase() {
  if (_channel) {
    _channel->remove_publisher();
  }
}

std::shared_ptr<MessageBase> PublisherBase::loanMessageBase() {
  return _channel ? _channel->loan() : nullptr;
}

bool PublisherBase::publishLoaned(std::shared_ptr<MessageBase>&& message) {
  if (!_channel || !message) {
    message.reset();
    return false;
  }
  return _channel->publish(std::move(message));
}

}  // namespace Orvo
