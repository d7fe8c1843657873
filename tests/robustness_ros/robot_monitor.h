#pragma once
// Watches the robot from a ROS node of the test process: every statistics
// message and every joint state of the bridge, with its own spinner thread.
// Counts them, keeps the hardware thread's measured periods, and checks that
// every joint state is intact: equal array sizes, each joint's sensed
// position equal to its reference (the dummy joints echo it), and all joints
// on the steady commander's path with one common phase.

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <ros/callback_queue.h>
#include <ros/node_handle.h>
#include <ros/spinner.h>

#include <orvo_msgs/JointState.h>
#include <orvo_msgs/Statistics.h>

namespace OrvoTest {

struct RobotFigures {
  uint64_t statistics = 0;
  uint64_t joint_states = 0;
  // Joint states that were not intact, and what was wrong with the first.
  uint64_t broken_joint_states = 0;
  std::string first_broken;
  // The measured periods (s) of `thread` in every statistics message, and
  // how many of those messages reported an overrun.
  std::vector<float> periods;
  uint64_t overruns = 0;
  // The largest effort seen per joint, in joint-state order.
  std::vector<float> peak_effort;
};

class RobotMonitor {
public:
  // After ros::init. `thread`: the worker thread whose periods are kept;
  // `joint_ids`: the device id of each joint by name.
  RobotMonitor(std::string thread, std::vector<std::pair<std::string, int>> joint_ids);
  ~RobotMonitor();

  // Any thread: a copy of the figures gathered since the last reset.
  RobotFigures figures() const;
  void reset();

private:
  void on_statistics(const orvo_msgs::Statistics& msg);
  void on_joint_state(const orvo_msgs::JointState& msg);
  // Empty when intact, else what is wrong.
  std::string check(const orvo_msgs::JointState& msg) const;

  std::string _thread;
  std::vector<std::pair<std::string, int>> _joint_ids;
  mutable std::mutex _mutex;
  RobotFigures _figures;
  ros::CallbackQueue _queue;
  std::unique_ptr<ros::NodeHandle> _node;
  ros::Subscriber _statistics_sub;
  ros::Subscriber _joint_state_sub;
  std::unique_ptr<ros::AsyncSpinner> _spinner;
};

}  // namespace OrvoTest
