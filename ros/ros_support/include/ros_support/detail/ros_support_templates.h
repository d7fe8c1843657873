#pragma once
// Member templates of Orvo::RosSupport; included by ros_support/ros_support.h.

#include <exception>
#include <utility>

#include <ros/advertise_service_options.h>
#include <ros/subscribe_options.h>

#include "framework/typed/callback_queue_runnable.h"
#include "framework/typed/topic.h"

namespace Orvo {

template <typename T>
class RosSupport::OwnedValue final : public RosSupport::Owned {
public:
  template <typename... Args>
  explicit OwnedValue(Args&&... args) : value(std::forward<Args>(args)...) {}
  T value;
};

// A framework subscriber served by the bridge's queue; taken off that queue
// when destroyed (the queue keeps its own reference until then).
template <typename T>
class RosSupport::OrvoSubscription final : public RosSupport::Owned {
public:
  OrvoSubscription(std::shared_ptr<Orvo::CallbackQueue> queue, std::shared_ptr<Subscriber<T>> subscriber)
      : _queue(std::move(queue)), _subscriber(std::move(subscriber)) {}
  ~OrvoSubscription() override { _queue->remove(_subscriber.get()); }

private:
  std::shared_ptr<Orvo::CallbackQueue> _queue;
  std::shared_ptr<Subscriber<T>> _subscriber;
};

template <typename M>
ros::Subscriber RosSupport::subscribe(const std::string& topic, uint32_t queue_size,
                                      std::function<void(const boost::shared_ptr<const M>&)> callback,
                                      const ros::TransportHints& hints) {
  if (!valid()) {
    report_invalid("ROS topic", topic);
    return ros::Subscriber();
  }
  ros::SubscribeOptions options;
  options.template init<M>(
      topic, queue_size,
      [topic, callback = std::move(callback)](const boost::shared_ptr<const M>& message) {
        try {
          callback(message);
        } catch (const std::exception& e) {
          report_callback_failure(topic, e.what());
        } catch (...) {
          report_callback_failure(topic, "unknown exception");
        }
      });
  options.transport_hints = hints;
  subscribers.push_back(nh.subscribe(options));
  return subscribers.back();
}

template <typename Srv>
ros::ServiceServer RosSupport::advertise_service(
    const std::string& service, std::function<bool(typename Srv::Request&, typename Srv::Response&)> callback) {
  if (!valid()) {
    report_invalid("ROS service", service);
    return ros::ServiceServer();
  }
  ros::AdvertiseServiceOptions options;
  options.template init<Srv>(
      service, [service, callback = std::move(callback)](typename Srv::Request& request,
                                                          typename Srv::Response& response) {
        try {
          return callback(request, response);
        } catch (const std::exception& e) {
          report_callback_failure(service, e.what());
        } catch (...) {
          report_callback_failure(service, "unknown exception");
        }
        return false;
      });
  service_servers.push_back(nh.advertiseService(options));
  return service_servers.back();
}

template <typename T>
bool RosSupport::subscribe_orvo(const std::string& topic, int queue_size, std::function<void(const T&)> callback) {
  if (!valid()) {
    report_invalid("framework topic", topic);
    return false;
  }
  auto subscriber = Task::subscribe<T>(
      topic,
      [topic, callback = std::move(callback)](const T& value) {
        try {
          callback(value);
        } catch (const std::exception& e) {
          report_callback_failure(topic, e.what());
        } catch (...) {
          report_callback_failure(topic, "unknown exception");
        }
      },
      queue_size, orvo_queue.get());
  if (!subscriber) {
    report_topic_refused(topic);
    return false;
  }
  owned_objects.push_back(std::make_unique<OrvoSubscription<T>>(orvo_queue, std::move(subscriber)));
  return true;
}

template <typename T, typename... Args>
T& RosSupport::emplace_owned(Args&&... args) {
  auto owned = std::make_unique<OwnedValue<T>>(std::forward<Args>(args)...);
  T& value = owned->value;
  owned_objects.push_back(std::move(owned));
  return value;
}

}  // namespace Orvo
