#pragma once
// Untyped publishing end of a topic. Messages are loaned from the topic's
// pool, filled in place and handed back: publishing copies nothing,
// allocates nothing and takes no lock.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "orvo2/topics/loan_handle.h"
#include "orvo2/topics/message_base.h"

namespace Orvo {

namespace internal {
class TopicChannel;
}

// A topic's numbers of publishers and subscribers, kept by the topic for
// whoever watches them (PublisherBase::watch_counts). Any thread reads them.
struct TopicCounts {
  std::atomic<uint32_t> publishers{0};
  std::atomic<uint32_t> subscribers{0};
};

class PublisherBase {
public:
  PublisherBase(PublisherBase&& other) noexcept;
  PublisherBase& operator=(PublisherBase&&) = delete;
  PublisherBase(const PublisherBase&) = delete;
  PublisherBase& operator=(const PublisherBase&) = delete;
  // Set-up or tear-down thread; takes the topic's set-up mutex. A loan still
  // held returns to the pool when dropped.
  virtual ~PublisherBase();

  // Control cycle, any thread; lock-free, never allocates. A message of the
  // pool, or null when all are in use. A loan holds whatever was last written
  // into it (or the prototype): write every field. Holding one loan at a time
  // never starves; a loan dropped without publishing returns to the pool.
  // Copies and weak references of a loan keep its message out of the pool
  // until the last of them is gone, also after it was published.
  std::shared_ptr<MessageBase> loanMessageBase() { return loan_as<MessageBase>(); }
  // Control cycle, any thread; lock-free, never allocates. Takes the loan
  // (leaving `message` null) and queues it for every subscriber; true when
  // published, also with no subscriber. False when `message` is null, not a
  // loan of this topic, or already published.
  bool publishLoaned(std::shared_ptr<MessageBase>&& message);

  // Set-up only; takes the topic's set-up mutex. From now until this
  // publisher goes, `counts` follows the topic's numbers of publishers and
  // subscribers; it must outlive the publisher. A later call moves the watch.
  void watch_counts(TopicCounts& counts);

  // Any thread; never block, never allocate.
  const std::string& getTopicName() const { return _topic_name; }
  const std::string& getOwner() const { return _owner; }

protected:
  // Made by Topic::make_publisher_base.
  PublisherBase(std::shared_ptr<internal::TopicChannel> channel, std::string topic_name,
                std::string owner);
  friend class Topic;

  // Control cycle, any thread; lock-free, never allocates. A loan whose handle
  // points at the message as an M (the message's own type, or a base of it).
  template <typename M>
  std::shared_ptr<M> loan_as() {
    const internal::LoanClaim claim = claim_loan();
    if (claim.slot == nullptr) {
      return nullptr;
    }
    return std::shared_ptr<M>(static_cast<M*>(claim.message), internal::LoanDeleter{claim.pool},
                              internal::LoanAllocator<M>(claim.slot));
  }

private:
  internal::LoanClaim claim_loan();

  std::shared_ptr<internal::TopicChannel> _channel;
  std::string _topic_name;
  std::string _owner;
  TopicCounts* _watched = nullptr;
};

}  // namespace Orvo
