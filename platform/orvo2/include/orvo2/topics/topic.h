#pragma once
// A named, typed topic: its type, its prototype message and the delivery
// machinery its publishers and subscribers share. Topics are made at set-up;
// the typed members are defined in framework/typed/topic.h.

#include <cstddef>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <typeinfo>

#include "orvo2/topics/message_base.h"
#include "orvo2/topics/publisher_base.h"
#include "orvo2/topics/subscriber_base.h"

namespace Orvo {

class CallbackQueue;
template <typename T>
class Publisher;
template <typename T>
class Subscriber;

namespace internal {
class TopicChannel;
}

// make_publisher or make_subscriber called on a topic of another type.
class TopicBadType : public std::runtime_error {
public:
  TopicBadType() : std::runtime_error("") {}
};

class Topic {
public:
  // Set-up only (allocates). The prototype is copied; one of another type
  // than `type` throws std::invalid_argument.
  Topic(std::string name, const std::type_info& type, const MessageBase& prototype);
  ~Topic();
  Topic(const Topic&) = delete;
  Topic& operator=(const Topic&) = delete;

  // Any thread; never block, never allocate.
  const std::string& getName() const { return _name; }
  const std::type_info& getTypeInfo() const { return _type; }
  // Readable name of the topic's type; allocates.
  std::string getTypeName() const;
  const MessageBase& getPrototype() const { return *_prototype; }

  // Set-up only (allocate, lock the topic's set-up mutex). The publisher adds
  // copies of `prototype` to the pool; throws std::invalid_argument when the
  // prototype's type is not the topic's.
  std::shared_ptr<PublisherBase> make_publisher_base(const MessageBase& prototype, std::string owner);
  // Set-up only. The subscriber adds queue_size + 1 copies of the topic's
  // prototype to the pool; with a queue it is registered on it as a runnable.
  // Throws std::invalid_argument when queue_size is below 1.
  std::shared_ptr<SubscriberBase> make_subscriber_base(std::function<void(const MessageBase&)> callback,
                                                       CallbackQueue* queue, int queue_size,
                                                       std::string owner);

  // Typed forms (framework/typed/topic.h); set-up only.
  template <typename T>
  static std::shared_ptr<Topic> MakeInstance(std::string name);
  template <typename T>
  std::shared_ptr<Publisher<T>> make_publisher(T prototype, std::string owner);
  template <typename T>
  std::shared_ptr<Subscriber<T>> make_subscriber(std::function<void(const T&)> callback,
                                                 CallbackQueue* queue, int queue_size, std::string owner);

  // Any thread; never block, never allocate.
  int publisher_count() const;
  size_t subscriber_count() const;
  // Messages in the pool, and those a publisher could loan right now.
  size_t pool_size() const;
  size_t free_loans() const;

private:
  std::string _name;
  const std::type_info& _type;
  std::unique_ptr<MessageBase> _prototype;
  std::shared_ptr<internal::TopicChannel> _channel;
};

}  // namespace Orvo
