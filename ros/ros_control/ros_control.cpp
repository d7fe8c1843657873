#include "ros_control.h"

#include <algorithm>
#include <bitset>
#include <exception>
#include <stdexcept>
#include <string>

#include <fmt/format.h>
#include <boost/function.hpp>
#include <ros/init.h>
#include <ros/subscribe_options.h>
#include <ros/transport_hints.h>

#include "checked_subscription_helper.h"
#include "orvo2/robot/robot_interface_orvo2rt.h"
#include "orvo_interface/control_mode.h"

namespace Orvo {
namespace {

constexpr uint32_t kCommandQueueSize = 50;
// A command for a thousand joints takes some 50 kB.
constexpr uint32_t kMaxCommandBytes = 1u << 20;
// No robot has more joints: a longer array is refused before it is decoded,
// so that no message costs the plug-in's thread more than that many entries.
constexpr uint32_t kMaxCommandEntries = 1024;
// What one run may apply: a message costs its joint entries plus one.
// Messages are never split, so a run stops after the message that reaches
// the budget and leaves the rest queued for the next cycles, in arrival order.
constexpr size_t kEntriesPerRun = 1024;

// Why an entry of a command was passed over.
enum class Refusal { UnknownJoint, NoDevice, NoControlMode };

// The fault of one entry, written into `out` (cut to its size) so that
// telling it allocates nothing.
fmt::string_view refusal_text(char (&out)[256], Refusal why, const std::string& name, size_t index) {
  fmt::format_to_n_result<char*> written{out, 0};
  switch (why) {
    case Refusal::UnknownJoint:
      written = fmt::format_to_n(out, sizeof(out), "joint '{}' undefined", name);
      break;
    case Refusal::NoDevice:
      written = fmt::format_to_n(out, sizeof(out), "joint '{}' has no joint device", name);
      break;
    case Refusal::NoControlMode:
      written = fmt::format_to_n(
          out, sizeof(out),
          "{}-th control mode undefined; send a bitmask formatted as [d k tau v q], e.g. 3 for position and velocity control",
          index);
      break;
  }
  return fmt::string_view(out, std::min(written.size, sizeof(out)));
}

// roscpp ends the process when a node handle is made before ros::init, so
// the plug-in refuses to be made instead.
size_t queue_size_once_ros_is_up(const std::string& task) {
  if (!ros::isInitialized()) {
    throw std::runtime_error(fmt::format(
        "task '{}': ROS is not initialised in this process (load the bridge plug-in ros_io first, in an earlier thread or an earlier task of the configuration)",
        task));
  }
  return kCommandQueueSize;
}

// Names longer than this match no joint: the decoder keeps them cut to one
// character more.
uint32_t longest_joint_name(const RobotInterface& model) {
  size_t longest = 0;
  for (const std::string& name : model.getJointNames()) longest = std::max(longest, name.size());
  return static_cast<uint32_t>(longest);
}

}  // namespace

RosControl::RosControl(const ControlPlugin::Args& args)
    : ControlPlugin(args), ros_queue(queue_size_once_ros_is_up(args.task_name)) {}

RosControl::~RosControl() = default;

bool RosControl::on_initialize() {
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
  nh = ros::NodeHandle("orvocore");
  nh.setCallbackQueue(&ros_queue);
  // Commands are decoded in the thread that received them (ros_queue runs
  // the callback there), by the bounded decoder: a message that lies about
  // its size allocates nothing, and names no joint can have take no memory of
  // their own. This thread only applies what ros_queue kept.
  const boost::function<void(const orvo_msgs::JointCommand::ConstPtr&)> callback =
      [this](const orvo_msgs::JointCommand::ConstPtr& msg) { ros_queue.keep(msg); };
  ros::SubscribeOptions options;
  options.init<orvo_msgs::JointCommand>("command", kCommandQueueSize, callback);
  options.helper = boost::make_shared<CheckedSubscriptionHelper<orvo_msgs::JointCommand>>(
      callback, kMaxCommandBytes, [this](const std::string& reason, uint32_t length) {
        vlog(Journal::Warning, "command message of {} bytes refused: {} \n", length, reason);
      },
      kMaxCommandEntries, longest_joint_name(*robot()) + 1);
  options.allow_concurrent_callbacks = true;
  options.transport_hints = ros::TransportHints().tcpNoDelay();
  cmd_sub = nh.subscribe(options);
  return true;
}

void RosControl::starting() {
  if (ros_queue.discard_waiting()) {
    start_completed();
  }
}

void RosControl::run() {
  ros_queue.take(kEntriesPerRun, [this](const orvo_msgs::JointCommand::ConstPtr& msg) {
    on_cmd_recv(msg);
    return msg->name.size() + 1;
  });
}

void RosControl::on_cmd_recv(const orvo_msgs::JointCommand::ConstPtr& msg) {
  // The boundary with the worker loop: whatever goes wrong is reported here
  // and never reaches it.
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
  // Entries passed over are told in one line per message, whatever their number.
  size_t refused = 0;
  size_t first_refused = 0;
  Refusal first_refusal = Refusal::UnknownJoint;
  const auto refuse = [&](size_t index, Refusal why) {
    if (refused++ == 0) {
      first_refused = index;
      first_refusal = why;
    }
  };
  for (size_t i = 0; i < msg.name.size(); ++i) {
    const std::string& name = msg.name[i];
    if (!model.hasJoint(name)) {
      refuse(i, Refusal::UnknownJoint);
      continue;
    }
    const int id = model.getJointByName(name)->getJointId();
    const auto device = joint_map.find(id);
    if (device == joint_map.end()) {
      // A joint of the model that no joint device of this robot drives.
      refuse(i, Refusal::NoDevice);
      continue;
    }
    if (i >= msg.ctrl_mode.size()) {
      refuse(i, Refusal::NoControlMode);
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
  if (refused == 0) {
    return;
  }
  char text[256];
  const fmt::string_view first = refusal_text(text, first_refusal, msg.name[first_refused], first_refused);
  if (refused == 1) {
    vlog(Journal::Warning, "while parsing command message: {} \n", first);
  } else {
    vlog(Journal::Warning, "while parsing command message: {} of {} joint entries refused, the first: {} \n",
         refused, msg.name.size(), first);
  }
}

}  // namespace Orvo
