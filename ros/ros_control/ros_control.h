#pragma once
// The ROS command-input control plug-in "ros_control": ROS clients command
// the robot's joints with orvo_msgs/JointCommand messages on the topic
// "command" of the namespace "orvocore" (/orvocore/command). roscpp's threads
// decode the messages and keep them in the plug-in's own ROS queue; the
// plug-in's thread takes them in every cycle, writes into each named joint
// the references that its control-mode bitmask ([d k tau v q], bit 0
// position) selects, and moves the robot once per message. ROS must be initialised in the process before
// the plug-in is made (the bridge plug-in ros_io does it).

#include <map>
#include <memory>

#include <ros/node_handle.h>
#include <ros/subscriber.h>

#include <orvo_msgs/JointCommand.h>

#include "command_queue.h"
#include "orvo2/devices/joint_base.h"
#include "orvo2/tasks/control_plugin.h"

namespace Orvo {

class RosControl : public ControlPlugin {
public:
  // The loader's thread; allocates. Subscribes to nothing yet. Throws
  // std::runtime_error naming the task when ROS is not initialised.
  explicit RosControl(const ControlPlugin::Args& args);
  // The owner's thread. Releases the joints, then ends the subscription.
  ~RosControl() override;

  // The plug-in's thread, once; allocates, registers with the ROS master.
  // Subscribes to the command topic, takes the robot interface's joints and
  // puts the robot in Idle; false (logged) when the robot has no joints.
  bool on_initialize() override;
  // The plug-in's thread. Discards every command received so far, then
  // completes the start (in a later call when a receiving thread held the
  // queue at that moment).
  void starting() override;
  // The plug-in's thread, every cycle; allocates nothing and waits for
  // nothing. Applies the commands received since the last cycle, in arrival
  // order, up to a budget of 1024 joint entries (a message counts its entries
  // plus one and is never split); the rest waits for the next cycles, at most
  // 50 messages, the oldest dropped. roscpp's threads decode: a message over
  // 1 MiB, with an array of over 1024 entries, or whose array counts claim
  // more than its bytes hold, is refused there before anything is sized from
  // it (logged as "command message of N bytes refused: ...").
  void run() override;

  // The plug-in's thread, from the ROS queue (inside run). Applies one
  // command and moves the robot. Entries it cannot apply are logged in one
  // warning per message (the first one's fault and, when more, their count);
  // nothing thrown leaves it.
  void on_cmd_recv(const orvo_msgs::JointCommand::ConstPtr& msg);

private:
  // Writes the references of `msg` into the joints it names.
  void apply_command(const orvo_msgs::JointCommand& msg);

  CommandQueue ros_queue;
  ros::NodeHandle nh;
  ros::Subscriber cmd_sub;
  std::map<int, std::shared_ptr<Hal::JointBase>> joint_map;
};

}  // namespace Orvo
