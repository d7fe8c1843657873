#include "robot_under_test.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <ros/init.h>
#include <std_srvs/SetBool.h>

#include "raw_tcpros.h"
#include "wait_until.h"
#include "dummy_arm.h"

namespace OrvoTest {

namespace {

using namespace std::chrono_literals;

RobotConfig robot_config(const std::string& example) {
  RobotConfig config = dummy_arm_config(example);
  config.srdf("dummy_arm.srdf", read_file(example + "dummy_arm.srdf"))
      .device("joint_master", "all_joints", 100)
      .thread(WorkerThread("ros_thread", "10ms").task("ros_io", "ros_io"))
      .thread(WorkerThread("hal_thread", "1ms").fifo(60).devices({"joint_dummy", "joint_master"}))
      .thread(WorkerThread("ctrl_thread", "1ms")
                  .fifo(50)
                  .task("commander", "steady_commander")
                  .task("ros_control", "ros_control"));
  return config;
}

}  // namespace

const std::vector<std::pair<std::string, int>>& RobotUnderTest::joints() {
  static const std::vector<std::pair<std::string, int>> list = {
      {"shoulder_yaw", 1}, {"shoulder_pitch", 2}, {"elbow_pitch", 3},
      {"wrist_roll", 4},   {"wrist_pitch", 5},    {"wrist_yaw", 6}};
  return list;
}

RobotUnderTest::RobotUnderTest(const std::string& tag) : _dir(tag) {
  if (ros::isInitialized()) {
    throw std::runtime_error("RobotUnderTest: one robot per test process (ROS is initialised once)");
  }
  const std::string config = robot_config(std::string(ORVO2_SOURCE_DIR) + "/examples/dummy_robot/").write(_dir);
  _master = std::make_unique<RosMaster>(tag);
  const std::string master_uri = "http://127.0.0.1:" + std::to_string(_master->port());
  _core = std::make_unique<ChildProcess>(std::vector<std::string>{ORVOCORE, "-C", config},
                                         _dir.path() + "/orvocore.log");

  ros::init(ros::M_string{{"__master", master_uri}, {"__hostname", "127.0.0.1"}},
            tag + "_" + std::to_string(::getpid()), ros::init_options::NoSigintHandler);
  ros::start();
  try {
    wait_for_the_robot();
  } catch (...) {
    _monitor.reset();
    ros::shutdown();
    throw;
  }
}

void RobotUnderTest::wait_for_the_robot() {
  const bool serving = wait_until(
      [this] {
        _bridge_port = service_port("/orvocore/joint_master/set_control_mask");
        return _bridge_port > 0 || !_core->running();
      },
      30s, kProcessPoll);
  if (!serving || _bridge_port <= 0) {
    throw std::runtime_error("the bridge does not serve: " + _core->output());
  }
  // Calls that reach the bridge before it has started are dropped unanswered.
  std_srvs::SetBool::Request start;
  start.data = true;
  std_srvs::SetBool::Response started;
  std::string error;
  if (!wait_until(
          [&] {
            return raw_service_call<std_srvs::SetBool>(_bridge_port, "/orvocore/ros_control/switch", start,
                                                       started, error, 1s) &&
                   started.success;
          },
          30s, kProcessPoll)) {
    throw std::runtime_error("ros_control did not start: " + error + started.message);
  }
  _monitor = std::make_unique<RobotMonitor>("hal_thread", joints());
  // The joints reach the path from their start at their rate limits; from
  // then on every joint state must be intact.
  const bool on_path = wait_until(
      [this] {
        const RobotFigures figures = _monitor->figures();
        if (figures.joint_states >= 100 && figures.broken_joint_states > 0) {
          _monitor->reset();
        }
        return figures.joint_states >= 500 && figures.broken_joint_states == 0;
      },
      30s, kProcessPoll);
  if (!on_path) {
    throw std::runtime_error("the commanded joints never settled on their path: " +
                             _monitor->figures().first_broken + "\n" + _core->output());
  }
  _monitor->reset();
}

int RobotUnderTest::stop_core() {
  return _core->stop();
}

RobotUnderTest::~RobotUnderTest() {
  _monitor.reset();
  ros::shutdown();
  _core->stop();
  _master.reset();
}

}  // namespace OrvoTest
