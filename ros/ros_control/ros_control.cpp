#include "ros_control.h"

#include <bitset>
#include <exception>
#include <stdexcept>
#include <string>

#include <fmt/format.h>
#include <ros/init.h>
#include <ros/transport_hints.h>

#include "orvo2/robot_interface_orvo2rt.h"
#include "orvo_interface/control_mode.h"

namespace Orvo {
namespace {

constexpr uint32_t kCommandQueueSize = 50;

// roscpp ends the process when a node handle is made before ros::init, so
// the plug-in refuses to be made instead. True: the queue starts enabled.
bool enabled_queue_once_ros_is_up(const std::string& task) {
  if (!ros::isInitialized()) {
    throw std::runtime_error(fmt::format(
        "task '{}': ROS is not initialised in this process (load the bridge plug-in ros_io first, in an earlier thread or an earlier task of the configuration)",
        task));
  }
  return true;
}

}  // namespace

RosControl::RosControl(const ControlPlugin::Args& args)
    : ControlPlugin(args), ros_queue(enabled_queue_once_ros_is_up(args.task_name)) {}

RosControl::~RosControl() = default;

bool RosControl::on_initialize() {
  nh = ros::NodeHandle("orvocore");
  nh.setCallbackQueue(&ros_queue);
  cmd_sub = nh.subscribe("command", kCommandQueueSize, &RosControl::on_cmd_recv, this,
                         ros::TransportHints().tcpNoDelay());

  // The joints come from the real-time back end; any other robot has none to offer.
  if (const auto* rt = dynamic_cast<const RobotInterfaceOrvo2Rt*>(robot().get())) {
    for (const auto& entry : rt->getJointMap()) {
      joint_map.emplace(entry.first, entry.second);
    }
  }
  if (robot()) {
    robot()->setControlMode(ControlMode::Idle());
  }
  if (joint_map.empty()) {
    vlog(Journal::Error, "no joints have been found \n");
    return false;
  }
  return true;
}

void RosControl::starting() {
  draining = true;
  ros_queue.callAvailable(ros::WallDuration(0));
  draining = false;
  start_completed();
}

void RosControl::run() { ros_queue.callAvailable(ros::WallDuration(0)); }

void RosControl::on_cmd_recv(const orvo_msgs::JointCommand::ConstPtr& msg) {
  if (draining) {
    return;
  }
  // The boundary with roscpp's queue: whatever goes wrong is reported here
  // and never reaches the worker loop.
  try {
    apply_command(*msg);
    robot()->move();
  } catch (const std::exception& e) {
    vlog(Journal::Error, "while applying command message: {} \n", e.what());
  } catch (...) {
    vlog(Journal::Error, "while applying command message: unknown exception \n");
  }
}

void RosControl::apply_command(const orvo_msgs::JointCommand& msg) {
  const RobotInterface& model = *robot();
  for (size_t i = 0; i < msg.name.size(); ++i) {
    const std::string& name = msg.name[i];
    if (!model.hasJoint(name)) {
      vlog(Journal::Warning, "while parsing command message: joint '{}' undefined \n", name);
      continue;
    }
    const int id = model.getJointByName(name)->getJointId();
    const auto device = joint_map.find(id);
    if (device == joint_map.end()) {
      // A joint of the model that no joint device of this robot drives.
      vlog(Journal::Warning, "while parsing command message: joint '{}' has no joint device \n", name);
      continue;
    }
    if (i >= msg.ctrl_mode.size()) {
      vlog(Journal::Warning,
           "while parsing command message: {}-th control mode undefined; send a bitmask formatted as [d k tau v q], e.g. 3 for position and velocity control \n",
           i);
      continue;
    }
    // Only the five low bits count.
    const ControlMode mode = ControlMode::FromBitset(std::bitset<5>(msg.ctrl_mode[i]));
    Hal::JointBase& joint = *device->second;
    if (mode.isStiffnessEnabled() && i < msg.stiffness.size()) {
      joint.set_stiffness_ref(msg.stiffness[i]);
    }
    if (mode.isDampingEnabled() && i < msg.damping.size()) {
      joint.set_damping_ref(msg.damping[i]);
    }
    if (mode.isEffortEnabled() && i < msg.effort.size()) {
      joint.set_tor_ref(msg.effort[i]);
    }
    if (mode.isVelocityEnabled() && i < msg.velocity.size()) {
      joint.set_vel_ref(msg.velocity[i]);
    }
    if (mode.isPositionEnabled() && i < msg.position.size()) {
      joint.set_pos_ref(msg.position[i]);
    }
  }
}

}  // namespace Orvo
