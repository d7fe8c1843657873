// orvocore running the example robot (examples/dummy_robot/config.yaml: the
// bridge ros_io and ros_control) against a private ROS master, driven as the
// README shows: the plug-in started through the bridge's switch service, a
// command sent with `rostopic pub`, the dummy joints' echo read back from
// joint_states.

#include <signal.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <orvo_msgs/JointCommand.h>
#include <orvo_msgs/JointState.h>
#include <ros/callback_queue.h>
#include <ros/ros.h>
#include <std_srvs/SetBool.h>

#include "child_process.h"
#include "ros_test_environment.h"
#include "temp_dir.h"
#include "wait_until.h"
#include "dummy_arm.h"

namespace {

using namespace std::chrono_literals;
using OrvoTest::wait_until;

auto* const ros_env =
    ::testing::AddGlobalTestEnvironment(new OrvoTest::RosTestEnvironment("ros_control_e2e"));

const std::string kExample = ORVO2_SOURCE_DIR "/examples/dummy_robot/";

// The latest joint state of the bridge, taken on a queue of the test's own.
class JointStates {
public:
  JointStates() {
    _nh.setCallbackQueue(&_queue);
    _sub = _nh.subscribe<orvo_msgs::JointState>("/orvocore/joint_states", 1,
                                                [this](const orvo_msgs::JointState::ConstPtr& msg) { _last = msg; });
  }

  // Waits up to `limit` until the joints' echoed positions are `expected`
  // (joint name → position; every other joint at 0).
  bool wait_for(const std::map<std::string, float>& expected, std::chrono::milliseconds limit) {
    return wait_until(
        [&] {
          _queue.callAvailable(ros::WallDuration(0.01));
          return _last && matches(*_last, expected);
        },
        limit);
  }

  // Waits up to `limit` until the position reference of `joint` is exactly `value`.
  bool wait_for_reference(const std::string& joint, float value, std::chrono::milliseconds limit) {
    return wait_until(
        [&] {
          _queue.callAvailable(ros::WallDuration(0.01));
          return _last && reference(joint) == value;
        },
        limit);
  }

  // The highest position reference of `joint` seen over `span`.
  float highest_reference(const std::string& joint, std::chrono::milliseconds span) {
    float highest = -INFINITY;
    const auto end = std::chrono::steady_clock::now() + span;
    while (std::chrono::steady_clock::now() < end) {
      _queue.callAvailable(ros::WallDuration(0.01));
      highest = std::max(highest, reference(joint));
    }
    return highest;
  }

  // The last position reference of `joint`; NaN when there is none.
  float reference(const std::string& joint) const {
    for (size_t i = 0; _last && i < _last->name.size() && i < _last->position_reference.size(); ++i) {
      if (_last->name[i] == joint) {
        return _last->position_reference[i];
      }
    }
    return NAN;
  }

  std::string last_text() const {
    std::ostringstream text;
    if (_last) {
      text << *_last;
    }
    return text.str();
  }

private:
  static bool matches(const orvo_msgs::JointState& msg, const std::map<std::string, float>& expected) {
    if (msg.name.size() != 6 || msg.link_position.size() != 6 || msg.position_reference.size() != 6) {
      return false;
    }
    for (size_t i = 0; i < msg.name.size(); ++i) {
      const auto it = expected.find(msg.name[i]);
      const float target = it == expected.end() ? 0.0f : it->second;
      if (std::fabs(msg.link_position[i] - target) > 0.01f || std::fabs(msg.position_reference[i] - target) > 0.01f) {
        return false;
      }
    }
    return true;
  }

  ros::CallbackQueue _queue;
  ros::NodeHandle _nh;
  ros::Subscriber _sub;
  orvo_msgs::JointState::ConstPtr _last;
};

// A ROS tool run with the build tree's orvo_msgs environment, as the README does.
void run_ros_tool(OrvoTest::TempDir& dir, const std::string& command) {
  OrvoTest::ChildProcess tool({"/bin/bash", "-c", ". " ORVO2_BINARY_DIR "/orvo_msgs_env.sh && exec " + command},
                              dir.path() + "/tool.log");
  EXPECT_TRUE(tool.wait_for_exit(30s)) << command << " did not end: " << tool.output();
  EXPECT_EQ(tool.exit_code(), 0) << command << ": " << tool.output();
}

TEST(RosControlEndToEnd, RostopicPubMovesTheExampleRobotsJoints) {
  OrvoTest::TempDir dir("ros_control_e2e");
  OrvoTest::ChildProcess core({ORVOCORE, "--config", kExample + "config.yaml"}, dir.path() + "/orvocore.log");
  ASSERT_TRUE(ros::service::waitForService("/orvocore/ros_control/switch", ros::Duration(30))) << core.output();

  JointStates joint_states;
  ASSERT_TRUE(joint_states.wait_for({}, 10s)) << joint_states.last_text();

  std_srvs::SetBool start;
  start.request.data = true;
  ASSERT_TRUE(ros::service::call("/orvocore/ros_control/switch", start));
  EXPECT_TRUE(start.response.success) << start.response.message;
  EXPECT_EQ(start.response.message, "Successfully started 'ros_control'");

  run_ros_tool(dir,
               "/usr/bin/rostopic pub -1 /orvocore/command orvo_msgs/JointCommand "
               "'{name: [elbow_pitch, wrist_roll], position: [0.5, -0.3], ctrl_mode: [1, 1]}'");
  EXPECT_TRUE(joint_states.wait_for({{"elbow_pitch", 0.5f}, {"wrist_roll", -0.3f}}, 10s))
      << joint_states.last_text() << core.output();
  // Settled, the filtered reference is the command itself.
  EXPECT_TRUE(joint_states.wait_for_reference("elbow_pitch", 0.5f, 10s)) << joint_states.last_text();

  // shoulder_pitch ramped at 1 rad/s to its upper limit 1.9 and held there:
  // the reference reaches the limit and never passes it, no safety stop.
  ros::NodeHandle nh;
  ros::Publisher command = nh.advertise<orvo_msgs::JointCommand>("/orvocore/command", 10);
  ASSERT_TRUE(wait_until([&] { return command.getNumSubscribers() > 0; }, 10s));
  orvo_msgs::JointCommand ramp;
  ramp.name = {"shoulder_pitch"};
  ramp.ctrl_mode = {1};
  for (int k = 1; k <= 190; ++k) {
    ramp.position = {std::min(0.01f * float(k), 1.9f)};
    command.publish(ramp);
    std::this_thread::sleep_for(10ms);
  }
  ramp.position = {1.9f};
  command.publish(ramp);
  EXPECT_TRUE(joint_states.wait_for_reference("shoulder_pitch", 1.9f, 10s)) << joint_states.last_text();
  EXPECT_EQ(joint_states.highest_reference("shoulder_pitch", 10s), 1.9f);
  EXPECT_EQ(joint_states.reference("shoulder_pitch"), 1.9f);
  EXPECT_EQ(joint_states.reference("elbow_pitch"), 0.5f);
  EXPECT_EQ(core.output().find("safety limit"), std::string::npos) << core.output();

  EXPECT_EQ(core.stop(SIGINT, 5s), 0) << core.output();
  EXPECT_NE(core.output().find("gracefully stopping"), std::string::npos) << core.output();
}

// Without the bridge loaded first, ROS is not initialised when ros_control is
// made: orvocore stops with a message instead of ending on roscpp's trap.
TEST(RosControlEndToEnd, WithoutTheBridgeFirstStartUpStopsWithAMessage) {
  OrvoTest::TempDir dir("ros_control_no_bridge");
  const std::string config =
      OrvoTest::dummy_arm_config(kExample, {"elbow_pitch"})
          .thread(OrvoTest::WorkerThread("ctrl_thread", "1ms").task("ros_control", "ros_control"))
          .write(dir);
  OrvoTest::ChildProcess core({ORVOCORE, "--config", config}, dir.path() + "/orvocore.log");
  ASSERT_TRUE(core.wait_for_exit(20s)) << core.output();
  EXPECT_EQ(core.exit_code(), 1) << core.output();
  EXPECT_NE(core.output().find("task 'ros_control': ROS is not initialised in this process"), std::string::npos)
      << core.output();
}

}  // namespace
