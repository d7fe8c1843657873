#pragma once
// Typed receiving end of a topic: the callback gets each delivered value.

#include <functional>
#include <memory>

#include "framework/typed/message_adapter.h"
#include "orvo2/topics/subscriber_base.h"

namespace Orvo {

template <typename T>
class Subscriber : public SubscriberBase {
public:
  using Ptr = std::shared_ptr<Subscriber<T>>;
  using TypedCallback = std::function<void(const T&)>;

  // Set-up, or the thread that runs the subscriber; allocates. An empty
  // callback raises std::bad_function_call at the first delivery.
  void setCallback(TypedCallback callback) {
    setCallbackBase([typed = std::move(callback)](const MessageBase& message) {
      typed(static_cast<const MessageAdapter<T>&>(message).value());
    });
  }

  ~Subscriber() override = default;

protected:
  // Made by Topic::make_subscriber<T> from the untyped subscriber.
  explicit Subscriber(SubscriberBase&& base) : SubscriberBase(std::move(base)) {}
};

}  // namespace Orvo
