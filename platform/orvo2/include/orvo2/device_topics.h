#pragma once
// A device's ends of its rx and tx topics. Set-up only: both allocate and
// lock the topic registry. A topic that exists with another record type is
// refused with TopicBadType (the registry prints the topic and both types).

#include <memory>
#include <string>

#include "framework/topic.h"
#include "orvo2/context.h"
#include "orvo2/topic.h"

namespace Orvo {
namespace Hal {

// Queue of every device subscription: records arriving faster than the
// owner's cycle drop the oldest beyond this.
constexpr int kDeviceQueueSize = 20;

template <typename T>
std::shared_ptr<Publisher<T>> advertise_record(const std::string& topic, T prototype,
                                               const std::string& owner) {
  auto publisher = Context().topicManager().advertise<T>(topic, std::move(prototype), owner);
  if (!publisher) {
    throw TopicBadType();
  }
  return publisher;
}

// Subscribes without a callback queue: `method` runs only inside the owner's
// own call to run().
template <typename T, typename Obj>
std::shared_ptr<Subscriber<T>> subscribe_record(const std::string& topic,
                                                void (Obj::*method)(const T&), Obj* obj,
                                                const std::string& owner) {
  auto subscriber = Context().topicManager().subscribe<T, Obj>(topic, method, obj, nullptr,
                                                               kDeviceQueueSize, owner);
  if (!subscriber) {
    throw TopicBadType();
  }
  return subscriber;
}

}  // namespace Hal
}  // namespace Orvo
