#include "orvo2/topics/publisher_base.h"

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

internal::LoanClaim PublisherBase::claim_loan() {
  return _channel ? _channel->claim_loan() : internal::LoanClaim{};
}

bool PublisherBase::publishLoaned(std::shared_ptr<MessageBase>&& message) {
  if (!_channel || !message) {
    message.reset();
    return false;
  }
  return _channel->publish(std::move(message));
}

}  // namespace Orvo
