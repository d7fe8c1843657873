#include "orvo2/topics/publisher_base.h"

#include <utility>

#include "topic_channel.h"

namespace Orvo {

PublisherBase::PublisherBase(std::shared_ptr<internal::TopicChannel> channel, std::string topic_name,
                             std::string owner)
    : _channel(std::move(channel)), _topic_name(std::move(topic_name)), _owner(std::move(owner)) {}

PublisherBase::PublisherBase(PublisherBase&& other) noexcept
    : _channel(std::move(other._channel)),
      _topic_name(std::move(other._topic_name)),
      _owner(std::move(other._owner)),
      _watched(std::exchange(other._watched, nullptr)) {}

PublisherBase::~PublisherBase() {
  if (!_channel) {
    return;
  }
  if (_watched != nullptr) {
    _channel->unwatch(*_watched);
  }
  _channel->remove_publisher();
}

void PublisherBase::watch_counts(TopicCounts& counts) {
  if (!_channel) {
    return;
  }
  if (_watched != nullptr) {
    _channel->unwatch(*_watched);
  }
  _watched = &counts;
  _channel->watch(counts);
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
