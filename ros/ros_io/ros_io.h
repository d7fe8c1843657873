#pragma once
// The ROS bridge control plug-in "ros_io": republishes the joint master's
// joint state, the threads' and tasks' run-time figures, plug-in lifecycle
// events, the joint master's status and every force-torque, IMU and
// link-state device on ROS topics, and serves ROS services that switch,
// abort, list and query plug-ins and tune the joint master.
//
// ROS is initialised once per process (node "orvocore", no SIGINT handler).
// Everything the bridge receives is queued on its two callback queues, a
// framework queue and a ROS queue, which only its own thread drains in run():
// no ROS spinner runs. Both queues are published as the parameters
// "/ros_support/topic_callback_queue_orvo2" and
// "/ros_support/topic_callback_queue_ros" so that other plug-ins can attach
// their ROS handles to them.

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <ros/callback_queue.h>
#include <ros/node_handle.h>
#include <ros/publisher.h>
#include <ros/service_server.h>

#include <orvo_msgs/JointState.h>

#include "framework/typed/subscriber.h"
#include "orvo2/context/context.h"
#include "orvo2/devices/force_torque.h"
#include "orvo2/devices/imu.h"
#include "orvo2/devices/joint_master_messages.h"
#include "orvo2/devices/link_state_sensor.h"
#include "orvo2/tasks/callback_queue.h"
#include "orvo2/tasks/control_plugin.h"
#include "orvo2/tasks/runnable.h"
#include "orvo2/tasks/task_statistics.h"
#include "orvo2/workers/orvo_core_thread.h"

namespace Orvo {

class LoggerListingService;

class RosIO : public ControlPlugin {
public:
  // Held as the parameter "ros_init_token": its construction initialises ROS
  // and waits, without limit, until a ROS master answers.
  struct ros_init_token {
    // The creating thread; blocks while no master answers (logging
    // "waiting for ros master.. " at most once per second); allocates.
    explicit ros_init_token(std::vector<std::string> args);
  };

  // The loader's thread; allocates. Initialises ROS unless the process did
  // already (then never blocks), makes and publishes both callback queues.
  explicit RosIO(const ControlPlugin::Args& args);
  // The owner's thread. ROS stays initialised; the queues live on in their
  // parameters, without this plug-in's subscriptions.
  ~RosIO() override;

  // The plug-in's thread, once; allocates. Subscribes, advertises the ROS
  // topics and services, publishes the robot description as ROS parameters,
  // marks the plug-in autostart and not stoppable, puts the robot in Idle.
  // False, naming the topic, when a framework topic to relay exists with
  // another type. A false return or an exception first withdraws every ROS
  // topic and service made so far: no ROS call waits on a cycle that will
  // never run.
  bool on_initialize() override;
  // The plug-in's thread; drops every pending ROS callback, then completes
  // the start.
  void starting() override;
  // The plug-in's thread, every cycle; allocates (ROS messages) and may block
  // up to a service handler's time-out. Delivers the framework queue, answers
  // the pending ROS service calls, publishes the statistics and every sensor
  // device. Warns once when ROS has shut the node down. Never throws.
  void run() override;

  // The plug-in's thread (framework queue); allocates only what the ROS
  // serializer needs with an unchanged joint count. Republishes one joint
  // state on "joint_states".
  void on_joint_aggr_rx_recv(const Hal::JointMasterRx& msg);

private:
  // The plug-in's thread, in on_initialize: whatever ends the wiring early,
  // a false return or an exception, withdraws what it made.
  class WithdrawUnlessWired;

  // Shuts down every ROS topic and service of the bridge and drops its
  // framework subscriptions. Never throws.
  void withdraw() noexcept;
  void release_subscriptions();

  // The steps of on_initialize, in its order; each runs in the plug-in's
  // thread, once, and allocates. A relay_ step returns false when its
  // framework topic exists with another type, logged naming the topic.
  // What ROS or the framework throws passes on; on_initialize withdraws.
  //
  // The node handle on the bridge's ROS queue, the logger listing and the
  // watch on ROS shutdown requests.
  void open_node();
  // Every thread's execution times ("/orvo2_thread_list").
  bool relay_thread_times();
  // The ROS services switch, abort, state and set_control_mask of `task`.
  void advertise_task_services(const std::string& task, std::chrono::nanoseconds call_timeout);
  bool relay_task_statistics(const std::string& task);
  bool relay_lifecycle_events();
  // "joint_states", from the joint master's aggregated rx.
  bool relay_joint_states();
  // The filter switch, the plug-in list, the filter profiles and the joint
  // master's mask.
  void advertise_master_services(const std::vector<std::string>& tasks,
                                 std::chrono::nanoseconds call_timeout);
  bool relay_joint_master_info();
  // The robot description as ROS parameters and the sensor topics; without a
  // robot interface, a warning.
  void publish_robot();

  void publish_statistics();
  void publish_sensors(const ros::Time& stamp);
  void advertise_sensor_topics();
  // The warning, once, that ROS has shut the node down, with who asked for it.
  void report_ros_shutdown();

  Context _context;
  std::shared_ptr<CallbackQueue> _internal_queue;
  std::shared_ptr<ros::CallbackQueue> _ros_queue;
  // Keeps the node up while the bridge lives: ROS ends the node, and takes
  // it off the master, with the process's last handle.
  std::unique_ptr<LoggerListingService> _logger_listing;
  std::unique_ptr<ros::NodeHandle> _node;
  std::vector<ros::ServiceServer> _service_servers;
  ros::Publisher _statistics_pub;
  std::map<std::string, Scheduler::TaskStatistics> _task_stats;
  std::map<std::string, OrvoCoreThread::ExecutionTime> _thread_times;
  std::vector<std::shared_ptr<Subscriber<Scheduler::TaskStatistics>>> _task_stats_subs;
  std::vector<std::shared_ptr<Subscriber<OrvoCoreThread::ExecutionTime>>> _thread_times_subs;
  std::shared_ptr<Subscriber<Runnable::LifecycleEvent>> _lifecycle_sub;
  std::shared_ptr<Subscriber<Hal::JointMasterInfo>> _joint_master_info_sub;
  ros::Publisher _joint_state_pub;
  std::shared_ptr<Subscriber<Hal::JointMasterRx>> _joint_aggr_rx_sub;
  std::map<Hal::ForceTorque*, ros::Publisher> _ft_pubs;
  std::map<Hal::Imu*, ros::Publisher> _imu_pubs;
  std::map<Hal::LinkStateSensor*, std::pair<ros::Publisher, ros::Publisher>> _lss_pubs;
  // Reused by every republished joint state.
  orvo_msgs::JointState _joint_state;
  bool _ros_shutdown_reported = false;
};

}  // namespace Orvo
