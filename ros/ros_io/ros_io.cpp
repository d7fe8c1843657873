#include "ros_io.h"

#include <chrono>

#include <boost/function.hpp>
#include <fmt/format.h>

#include <ros/init.h>
#include <ros/this_node.h>

#include <orvo_msgs/GetPluginList.h>
#include <orvo_msgs/JointDeviceInfo.h>
#include <orvo_msgs/LifecycleEvent.h>
#include <orvo_msgs/PluginStatus.h>
#include <orvo_msgs/SetControlMask.h>
#include <orvo_msgs/Statistics.h>
#include <std_srvs/SetBool.h>
#include <std_srvs/Trigger.h>

#include "bridge_stamp.h"
#include "framework/typed/parameter.h"
#include "framework/typed/service.h"
#include "framework/typed/topic.h"
#include "joint_master_services.h"
#include "joint_state_conversion.h"
#include "logger_listing_service.h"
#include "orvo2/devices/device_rt.h"
#include "orvo2/tasks/task_manager.h"
#include "orvo_interface/control_mode.h"
#include "orvo_interface/robot_interface.h"
#include "plugin_services.h"
#include "robot_devices.h"
#include "ros_callback_guard.h"
#include "sensor_messages.h"
#include "shutdown_request.h"
#include "statistics_message.h"
#include "status_relays.h"

namespace Orvo {

namespace {

constexpr std::chrono::nanoseconds kDefaultCallTimeout = std::chrono::milliseconds(100);

template <typename Srv, typename Handler>
ros::ServiceServer advertise_ros_service(ros::NodeHandle& node, const std::string& name,
                                         Handler handler) {
  using Request = typename Srv::Request;
  using Response = typename Srv::Response;
  return node.advertiseService<Request, Response>(
      name, boost::function<bool(Request&, Response&)>(std::move(handler)));
}

// A framework-queue callback that can never throw into the bridge's cycle.
template <typename T, typename Body>
std::function<void(const T&)> guarded_callback(std::string name, Body body) {
  return [name = std::move(name), body = std::move(body)](const T& message) {
    guard_ros_callback(name, [&] {
      body(message);
      return true;
    });
  };
}

// A relay whose framework topic exists with another record type gets no
// subscription: logged, naming the topic, for on_initialize to fail.
template <typename T>
bool relay_made(const std::shared_ptr<Subscriber<T>>& subscriber, const std::string& topic, Journal& journal) {
  if (!subscriber) {
    journal.jerror("cannot relay topic '{}': no subscription (does it exist with another type?) \n", topic);
    return false;
  }
  return true;
}

}  // namespace

class RosIO::WithdrawUnlessWired {
public:
  explicit WithdrawUnlessWired(RosIO& bridge) : _bridge(bridge) {}
  WithdrawUnlessWired(const WithdrawUnlessWired&) = delete;
  WithdrawUnlessWired& operator=(const WithdrawUnlessWired&) = delete;
  ~WithdrawUnlessWired() {
    if (!_wired) {
      _bridge.withdraw();
    }
  }
  void done() { _wired = true; }

private:
  RosIO& _bridge;
  bool _wired = false;
};

RosIO::RosIO(const ControlPlugin::Args& args) : ControlPlugin(args) {
  setPrivilegedMode(true);
  setNamespace("orvo_internal");
  _internal_queue = std::make_shared<CallbackQueue>();
  _ros_queue = std::make_shared<ros::CallbackQueue>(true);
  const auto ros_args = getParamOr<std::vector<std::string>>("ros_args", {});
  emplaceParam<ros_init_token>("ros_init_token", ros_args);
  emplaceParam<std::shared_ptr<CallbackQueue>>("/ros_support/topic_callback_queue_orvo2",
                                               _internal_queue);
  emplaceParam<std::shared_ptr<ros::CallbackQueue>>("/ros_support/topic_callback_queue_ros",
                                                    _ros_queue);
}

RosIO::~RosIO() { release_subscriptions(); }

void RosIO::release_subscriptions() {
  // The internal queue lives on in its parameter and holds what is registered
  // on it: take back every subscription whose callback reaches this object.
  for (const auto& subscriber : _thread_times_subs) {
    _internal_queue->remove(subscriber.get());
  }
  for (const auto& subscriber : _task_stats_subs) {
    _internal_queue->remove(subscriber.get());
  }
  _internal_queue->remove(_lifecycle_sub.get());
  _internal_queue->remove(_joint_master_info_sub.get());
  _internal_queue->remove(_joint_aggr_rx_sub.get());
}

void RosIO::withdraw() noexcept {
  if (_node) {
    // Every ROS topic and service made through the handle: a caller of a
    // withdrawn service gets an error instead of waiting on a cycle that will
    // never answer it.
    _node->shutdown();
  }
  _service_servers.clear();
  _ft_pubs.clear();
  _imu_pubs.clear();
  _lss_pubs.clear();
  release_subscriptions();
  _thread_times_subs.clear();
  _task_stats_subs.clear();
  _lifecycle_sub.reset();
  _joint_master_info_sub.reset();
  _joint_aggr_rx_sub.reset();
  _ros_queue->clear();
  jerror("task '{}' failed to initialise: its ROS topics and services are withdrawn \n", getName());
}

bool RosIO::on_initialize() {
  WithdrawUnlessWired wiring(*this);
  const std::vector<std::string> tasks = Context().taskManager().getTaskNames();
  jlow().vlog(Journal::Info, "initialized with task list [{}] \n", fmt::join(tasks, ", "));

  open_node();
  const auto call_timeout = getParamOr<std::chrono::nanoseconds>("ros_io/call_timeout",
                                                                 kDefaultCallTimeout);
  if (!relay_thread_times()) {
    return false;
  }
  for (const std::string& task : tasks) {
    advertise_task_services(task, call_timeout);
    if (!relay_task_statistics(task)) {
      return false;
    }
  }
  if (!relay_lifecycle_events()) {
    return false;
  }
  _statistics_pub = _node->advertise<orvo_msgs::Statistics>("statistics", 10);
  if (!relay_joint_states()) {
    return false;
  }
  advertise_master_services(tasks, call_timeout);
  if (!relay_joint_master_info()) {
    return false;
  }
  publish_robot();

  setAutostart(true);
  setStoppable(false);
  if (robot()) {
    robot()->setControlMode(ControlMode::Idle());
  }
  wiring.done();
  return true;
}

void RosIO::open_node() {
  auto node = std::make_unique<ros::NodeHandle>("~");
  _node.swap(node);
  _node->setCallbackQueue(_ros_queue.get());
  // Made here, once every thread is built, and not at construction: the node
  // joins the master only after the process's start-up checks have passed.
  _logger_listing = std::make_unique<LoggerListingService>();
  watch_shutdown_requests();
}

bool RosIO::relay_thread_times() {
  for (const std::string& thread : getParamOr<std::vector<std::string>>("/orvo2_thread_list", {})) {
    OrvoCoreThread::ExecutionTime& entry = _thread_times[thread];
    const std::string topic = "/" + thread + "/execution_time";
    _thread_times_subs.push_back(subscribe<OrvoCoreThread::ExecutionTime>(
        topic, [&entry](const OrvoCoreThread::ExecutionTime& figures) { entry = figures; }, 20,
        _internal_queue.get()));
    if (!relay_made(_thread_times_subs.back(), topic, *this)) {
      return false;
    }
  }
  return true;
}

void RosIO::advertise_task_services(const std::string& task, std::chrono::nanoseconds call_timeout) {
  auto command = serviceClient<Runnable::Command, bool>(fmt::format("scheduler/{}/command", task));
  auto state = serviceClient<service::Empty, std::string>(fmt::format("scheduler/{}/get_state", task));
  ros::ServiceServer switch_server = advertise_ros_service<std_srvs::SetBool>(
      *_node, task + "/switch", PluginSwitchService(command, task, call_timeout));
  ros::ServiceServer abort_server =
      task == getName()
          ? advertise_ros_service<std_srvs::Trigger>(*_node, task + "/abort", OwnAbortRefusal(task))
          : advertise_ros_service<std_srvs::Trigger>(*_node, task + "/abort",
                                                     PluginAbortService(command, task, call_timeout));
  ros::ServiceServer state_server = advertise_ros_service<orvo_msgs::PluginStatus>(
      *_node, task + "/state", PluginStateService(state, task, call_timeout));
  auto mask = serviceClient<uint32_t, bool>(fmt::format("/jm_cli_{}/set_mask", task));
  ros::ServiceServer mask_server = advertise_ros_service<orvo_msgs::SetControlMask>(
      *_node, task + "/set_control_mask", PluginMaskService(mask, task));
  _service_servers.push_back(switch_server);
  _service_servers.push_back(abort_server);
  _service_servers.push_back(state_server);
  _service_servers.push_back(mask_server);
}

bool RosIO::relay_task_statistics(const std::string& task) {
  Scheduler::TaskStatistics& entry = _task_stats[task];
  const std::string stats_topic = "/" + task + "/stats";
  _task_stats_subs.push_back(subscribe<Scheduler::TaskStatistics>(
      stats_topic, [&entry](const Scheduler::TaskStatistics& figures) { entry = figures; }, 20,
      _internal_queue.get()));
  return relay_made(_task_stats_subs.back(), stats_topic, *this);
}

bool RosIO::relay_lifecycle_events() {
  const ros::Publisher lifecycle_pub = _node->advertise<orvo_msgs::LifecycleEvent>("lifecycle_events", 10);
  _lifecycle_sub = subscribe<Runnable::LifecycleEvent>(
      "/lifecycle_events",
      guarded_callback<Runnable::LifecycleEvent>("lifecycle_events",
                                        [lifecycle_pub](const Runnable::LifecycleEvent& event) {
                                          if (lifecycle_pub) {
                                            lifecycle_pub.publish(to_lifecycle_message(event));
                                          }
                                        }),
      10, _internal_queue.get());
  return relay_made(_lifecycle_sub, "/lifecycle_events", *this);
}

bool RosIO::relay_joint_states() {
  _joint_state_pub = _node->advertise<orvo_msgs::JointState>("joint_states", 10);
  const std::string joint_aggr_rx_topic = Hal::DeviceRt::RxTopicName("joint_master", "all_joints");
  _joint_aggr_rx_sub = subscribe<Hal::JointMasterRx>(
      joint_aggr_rx_topic,
      guarded_callback<Hal::JointMasterRx>("joint_states",
                                  [this](const Hal::JointMasterRx& msg) { on_joint_aggr_rx_recv(msg); }),
      10, _internal_queue.get());
  return relay_made(_joint_aggr_rx_sub, joint_aggr_rx_topic, *this);
}

void RosIO::advertise_master_services(const std::vector<std::string>& tasks,
                                      std::chrono::nanoseconds call_timeout) {
  auto filter = serviceClient<bool, bool>("/joint_master/enable_tx_filter");
  _service_servers.push_back(advertise_ros_service<std_srvs::SetBool>(
      *_node, "enable_joint_filter", FilterSwitchService(filter, call_timeout)));

  _service_servers.push_back(advertise_ros_service<orvo_msgs::GetPluginList>(
      *_node, "get_plugin_list", PluginListService(tasks)));

  auto cutoff = serviceClient<double, bool>("/joint_master/set_tx_filter_cutoff");
  ros::ServiceServer safe = advertise_ros_service<std_srvs::Trigger>(
      *_node, "set_filter_profile_safe", FilterProfileService(cutoff, 1.0));
  ros::ServiceServer medium = advertise_ros_service<std_srvs::Trigger>(
      *_node, "set_filter_profile_medium", FilterProfileService(cutoff, 5.0));
  ros::ServiceServer fast = advertise_ros_service<std_srvs::Trigger>(
      *_node, "set_filter_profile_fast", FilterProfileService(cutoff, 20.0));
  _service_servers.push_back(safe);
  _service_servers.push_back(medium);
  _service_servers.push_back(fast);

  auto master_mask = serviceClient<uint32_t, bool>("/joint_master/set_mask");
  _service_servers.push_back(advertise_ros_service<orvo_msgs::SetControlMask>(
      *_node, "joint_master/set_control_mask", MasterMaskService(master_mask)));
}

bool RosIO::relay_joint_master_info() {
  const ros::Publisher info_pub = _node->advertise<orvo_msgs::JointDeviceInfo>("joint_device_info", 1);
  _joint_master_info_sub = subscribe<Hal::JointMasterInfo>(
      "/joint_master/info",
      guarded_callback<Hal::JointMasterInfo>("joint_device_info",
                                    [info_pub](const Hal::JointMasterInfo& info) {
                                      if (info_pub) {
                                        info_pub.publish(to_joint_device_info(info));
                                      }
                                    }),
      1, _internal_queue.get());
  return relay_made(_joint_master_info_sub, "/joint_master/info", *this);
}

void RosIO::publish_robot() {
  if (robot()) {
    _node->setParam("robot_description", robot()->getUrdfString());
    _node->setParam("robot_description_semantic", robot()->getSrdfString());
    advertise_sensor_topics();
  } else {
    jwarn("task '{}' has no robot interface: no robot description and no sensor topics \n",
          getName());
  }
}

void RosIO::advertise_sensor_topics() {
  const std::vector<std::shared_ptr<Hal::DeviceBase>> devices = robot_devices(*robot());
  for (const auto& device : devices) {
    if (auto* sensor = dynamic_cast<Hal::ForceTorque*>(device.get())) {
      _ft_pubs.emplace(sensor, _node->advertise<geometry_msgs::WrenchStamped>(
                                   "ft/" + sensor->get_name(), 1));
      vlog(Journal::Info, "advertised ft topic for '{}' \n", sensor->get_name());
    }
  }
  for (const auto& device : devices) {
    if (auto* sensor = dynamic_cast<Hal::Imu*>(device.get())) {
      _imu_pubs.emplace(sensor, _node->advertise<sensor_msgs::Imu>("imu/" + sensor->get_name(), 1));
      vlog(Journal::Info, "advertised imu topic for '{}' \n", sensor->get_name());
    }
  }
  for (const auto& device : devices) {
    if (auto* sensor = dynamic_cast<Hal::LinkStateSensor*>(device.get())) {
      const std::string& link = sensor->getLinkName();
      ros::Publisher pose = _node->advertise<geometry_msgs::PoseStamped>("link_state/" + link + "/pose", 1);
      ros::Publisher twist =
          _node->advertise<geometry_msgs::TwistStamped>("link_state/" + link + "/twist", 1);
      _lss_pubs.emplace(sensor, std::make_pair(pose, twist));
      vlog(Journal::Info, "advertised lss topic for link '{}' \n", link);
    }
  }
}

void RosIO::starting() {
  _ros_queue->clear();
  start_completed();
}

void RosIO::run() {
  ros::Time stamp;
  guard_ros_callback("ros time", [&] {
    stamp = bridge_stamp();
    return true;
  });
  guard_ros_callback("framework queue", [&] {
    _internal_queue->run();
    return true;
  });
  guard_ros_callback("ros queue", [&] {
    _ros_queue->callAvailable(ros::WallDuration(0));
    return true;
  });
  if (!_ros_shutdown_reported && !ros::ok()) {
    _ros_shutdown_reported = true;
    report_ros_shutdown();
  }
  guard_ros_callback("statistics", [&] {
    publish_statistics();
    return true;
  });
  guard_ros_callback("sensors", [&] {
    publish_sensors(stamp);
    return true;
  });
}

void RosIO::report_ros_shutdown() {
  std::string caller;
  std::string reason;
  if (shutdown_request(caller, reason)) {
    jwarn("ROS has shut the node '{}' down at the XML-RPC request 'shutdown' of '{}' (reason: '{}'; the ROS "
          "master sends it when another node registers under this name, and any ROS peer can): no ROS topics or "
          "services from now on \n",
          ros::this_node::getName(), caller, reason);
  } else {
    jwarn("ROS has shut the node '{}' down from within this process: no ROS topics or services from now on \n",
          ros::this_node::getName());
  }
}

void RosIO::publish_statistics() {
  const orvo_msgs::Statistics statistics = make_statistics(
      _task_stats, _thread_times,
      [this](const std::string& task) { return _context.taskManager().getTaskThread(task); });
  if (_statistics_pub) {
    _statistics_pub.publish(statistics);
  }
}

void RosIO::publish_sensors(const ros::Time& stamp) {
  for (const auto& [sensor, publisher] : _ft_pubs) {
    sensor->sense();
    if (publisher) {
      publisher.publish(wrench_message(*sensor, stamp));
    }
  }
  for (const auto& [sensor, publisher] : _imu_pubs) {
    sensor->sense();
    if (publisher) {
      publisher.publish(imu_message(*sensor, stamp));
    }
  }
  for (const auto& [sensor, publishers] : _lss_pubs) {
    sensor->sense();
    if (publishers.first) {
      publishers.first.publish(pose_message(*sensor, stamp));
    }
    if (publishers.second) {
      publishers.second.publish(twist_message(*sensor, stamp));
    }
  }
}

void RosIO::on_joint_aggr_rx_recv(const Hal::JointMasterRx& msg) {
  if (!fill_joint_state(msg, _joint_state)) {
    return;
  }
  if (_joint_state_pub) {
    _joint_state_pub.publish(_joint_state);
  }
}

}  // namespace Orvo
