#pragma once
// ROS for plug-ins without a ROS queue of their own. The bridge plug-in ros_io
// publishes its two callback queues as the parameters
// "/ros_support/topic_callback_queue_ros" and
// "/ros_support/topic_callback_queue_orvo2" and drains both in every cycle of
// its thread. A RosSupport finds them and points its node handle at the
// bridge's ROS queue, so that everything registered through it runs in the
// bridge's thread, never in the plug-in's:
//
//   Orvo::RosSupport ros(ros::NodeHandle("~"));
//   if (ros.valid()) {
//     ros.subscribe<std_msgs::Float64>("gain", 1, [this](const std_msgs::Float64::ConstPtr& m) {
//       _gain.store(m->data);  // bridge's thread: hand over without blocking
//     });
//     ros.advertise_service<std_srvs::Trigger>("reset", [this](auto& req, auto& res) { ... });
//     ros.subscribe_orvo<Orvo::Hal::JointMasterInfo>("/joint_master/info", 1, on_info);
//   }
//
// Everything registered is held until the RosSupport is destroyed, which
// ends it. The registration members are for set-up in the plug-in's thread;
// they allocate. A callback that throws is logged and the exception stops
// there, so it never reaches the bridge's cycle.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <ros/callback_queue.h>
#include <ros/node_handle.h>

#include "orvo2/tasks/callback_queue.h"
#include "orvo2/tasks/task.h"

namespace Orvo {

class RosSupport : private Task {
public:
  // Base of the objects the RosSupport keeps alive for a plug-in.
  class Owned {
  public:
    virtual ~Owned() = default;
  };

  // Set-up, the plug-in's thread; allocates. Looks up the bridge's queues;
  // a missing one is logged as a warning and leaves the object invalid,
  // nothing is thrown for it. ROS must be initialised in the process.
  explicit RosSupport(ros::NodeHandle handle);
  // The plug-in's thread. Ends every registration, then drops the shares of
  // the bridge's queues (the bridge keeps them).
  virtual ~RosSupport();
  RosSupport(const RosSupport&) = delete;
  RosSupport& operator=(const RosSupport&) = delete;

  // Any thread; never blocks. True when both of the bridge's queues were found.
  bool valid() const { return orvo_queue && ros_queue; }

  // Any thread. The node handle: bound to the bridge's ROS queue when valid.
  // Publishers may be advertised on it directly; publishing is thread-safe.
  ros::NodeHandle& node_handle() { return nh; }

  // Set-up, the plug-in's thread; allocates. Subscribes to the ROS topic
  // `topic` (resolved by the node handle); `callback` runs in the bridge's
  // thread. An empty subscriber, and a warning, when invalid; throws what
  // roscpp throws for a bad name.
  template <typename M>
  ros::Subscriber subscribe(const std::string& topic, uint32_t queue_size,
                            std::function<void(const boost::shared_ptr<const M>&)> callback,
                            const ros::TransportHints& hints = ros::TransportHints());

  // Set-up, the plug-in's thread; allocates. Offers the ROS service `service`
  // of type Srv; `callback` runs in the bridge's thread and says whether the
  // call succeeded. An empty server, and a warning, when invalid; throws
  // what roscpp throws for a bad name.
  template <typename Srv>
  ros::ServiceServer advertise_service(
      const std::string& service,
      std::function<bool(typename Srv::Request&, typename Srv::Response&)> callback);

  // Set-up, the plug-in's thread; allocates. Subscribes to the framework
  // topic `topic` (a full name such as "/joint_master/info"; a relative
  // name resolves under "/ros_support") with `queue_size` places; `callback`
  // runs in the bridge's thread when it drains its framework queue. False,
  // with a warning, when invalid or when the topic has another type.
  template <typename T>
  bool subscribe_orvo(const std::string& topic, int queue_size, std::function<void(const T&)> callback);

  // Set-up, the plug-in's thread; allocates. Makes a T from `args` that lives
  // as long as this RosSupport (destroyed after the services, before the
  // subscribers), e.g. state shared by the callbacks; works when invalid too.
  template <typename T, typename... Args>
  T& emplace_owned(Args&&... args);

private:
  template <typename T>
  class OwnedValue;
  template <typename T>
  class OrvoSubscription;

  // Logs that `what` cannot be registered on an invalid RosSupport.
  void report_invalid(const char* kind, const std::string& what) const;
  // Logs that the framework topic `topic` refused a subscription.
  void report_topic_refused(const std::string& topic) const;
  // Logs an exception that a callback of `what` threw in the bridge's thread.
  static void report_callback_failure(const std::string& what, const char* reason) noexcept;

  ros::NodeHandle nh;
  std::shared_ptr<ros::CallbackQueue> ros_queue;
  std::shared_ptr<Orvo::CallbackQueue> orvo_queue;
  std::vector<ros::Subscriber> subscribers;
  std::vector<std::unique_ptr<Owned>> owned_objects;
  std::vector<ros::ServiceServer> service_servers;
};

}  // namespace Orvo

#include "ros_support/detail/ros_support_templates.h"
