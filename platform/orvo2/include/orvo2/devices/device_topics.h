#pragma once
// A device's ends of its rx and tx topics. Set-up only: each allocates and
// locks the topic registry. A topic that exists with another record type is
// refused with TopicBadType (the registry prints the topic and both types).

#include <memory>
#include <string>

#include "framework/typed/topic.h"
#include "orvo2/context/context.h"
#include "orvo2/devices/device_rt.h"
#include "orvo2/topics/topic.h"

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

// The client ends of `device`'s topics: advertises Tx on its tx topic (a
// value-initialised record as initial value), then subscribes `on_rx` of
// `obj` to Rx on its rx topic.
template <typename Rx, typename Tx, typename Obj>
void attach_client_topics(const DeviceInfo& device, void (Obj::*on_rx)(const Rx&), Obj* obj,
                          std::shared_ptr<Publisher<Tx>>& tx_pub,
                          std::shared_ptr<Subscriber<Rx>>& rx_sub) {
  tx_pub = advertise_record<Tx>(DeviceRt::TxTopicName(device.type, device.name), Tx(), device.name);
  rx_sub = subscribe_record<Rx, Obj>(DeviceRt::RxTopicName(device.type, device.name), on_rx, obj,
                                     device.name);
}

}  // namespace Hal
}  // namespace Orvo
