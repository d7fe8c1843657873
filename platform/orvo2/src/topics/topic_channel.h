#pragma once
// The delivery machinery behind one topic: the message pool, the subscribers'
// queues and the count of publishers. Shared by the topic and by every
// publisher and subscriber made on it, so it outlives each of them.

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include "framework/primitives/mutex.h"
#include "delivery_queue.h"
#include "hidden_symbol.h"
#include "message_pool.h"
#include "orvo2/topics/publisher_base.h"
#include "subscriber_table.h"

namespace Orvo {
namespace internal {

class ORVO2_HIDDEN TopicChannel {
public:
  TopicChannel() = default;
  TopicChannel(const TopicChannel&) = delete;
  TopicChannel& operator=(const TopicChannel&) = delete;

  // Set-up only: allocate and lock. A publisher brings two messages to the
  // pool (its loan, and one that a full queue may be dropping meanwhile); a
  // subscriber brings its queue size plus the one it is delivering, so the
  // pool never runs dry while each publisher holds at most one loan. Those
  // that leave hand their share on to the next ones: the pool does not grow
  // while publishers and subscribers come and go.
  void add_publisher(const MessageBase& prototype);
  void remove_publisher();
  // The queue belongs to the channel and outlives the subscriber.
  DeliveryQueue& add_subscriber(const MessageBase& prototype, size_t queue_size);
  // Returns the queue's pending messages to the pool.
  void remove_subscriber(DeliveryQueue& queue);

  // Set-up only: lock. `counts` follows the numbers of publishers and
  // subscribers from now until unwatch.
  void watch(TopicCounts& counts);
  void unwatch(TopicCounts& counts);

  // Any thread; lock-free, never allocates. A slot claimed for a loan.
  LoanClaim claim_loan();
  // Any thread; lock-free, never allocates. Takes the loan back and queues it
  // for every subscriber; false when `message` is not a loan of this topic
  // or was published already.
  bool publish(std::shared_ptr<MessageBase>&& message);

  int publisher_count() const { return _publishers.load(); }
  size_t subscriber_count() const { return _subscribers_count.load(); }
  size_t pool_size() const { return _pool.size(); }
  size_t free_loans() const { return _pool.free_count(); }

private:
  static constexpr size_t publisher_slots = 2;
  // Called with the set-up mutex held.
  void grow_pool(const MessageBase& prototype, size_t needed);
  void update_watches();

  // A publish reads the table's and the pool's first words: one line.
  alignas(64) SubscriberTable _subscribers;
  MessagePool _pool;
  mutex _setup_mutex;
  std::atomic<int> _publishers{0};
  std::atomic<size_t> _subscribers_count{0};
  // Pool slots whose publisher or subscriber has gone (set-up mutex).
  size_t _spare_slots = 0;
  // The prototype of the first publisher, which every later slot copies
  // (set-up mutex); until a publisher comes, slots copy the topic's default.
  std::unique_ptr<MessageBase> _seed;
  // The counts watched (set-up mutex).
  std::vector<TopicCounts*> _watches;
};

}  // namespace internal
}  // namespace Orvo
