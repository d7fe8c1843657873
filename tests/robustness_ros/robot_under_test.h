#pragma once
// The robot that the ROS robustness tests put under stress: a private
// rosmaster on a free loopback port, orvocore running the dummy arm (six
// loop-back joints behind the joint master, its hardware thread at 1 kHz
// with SCHED_FIFO), the steady commander driving every joint's position at
// 1 kHz in a second real-time thread next to the ROS command input
// ros_control (started through the bridge), and the bridge at 100 Hz; this process joins as a ROS node
// that watches the bridge's statistics and joint states.
//
// One per test process (ROS is initialised once per process); everything is
// stopped by process id when it goes.

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "child_process.h"
#include "robot_monitor.h"
#include "ros_master.h"
#include "temp_dir.h"

namespace OrvoTest {

class RobotUnderTest {
public:
  // The joints of the dummy arm in joint-state order, with their device ids.
  static const std::vector<std::pair<std::string, int>>& joints();

  // Starts the master, orvocore and the monitor and waits until the bridge
  // serves and the commanded joints are on their path (bounded waits).
  // Throws std::runtime_error naming what did not come up, with orvocore's output.
  explicit RobotUnderTest(const std::string& tag);
  // Shuts the test's ROS node down, stops orvocore with SIGINT and the master.
  ~RobotUnderTest();
  RobotUnderTest(const RobotUnderTest&) = delete;
  RobotUnderTest& operator=(const RobotUnderTest&) = delete;

  ChildProcess& core() { return *_core; }
  RobotMonitor& monitor() { return *_monitor; }
  // The port on which orvocore accepts ROS topic and service connections.
  int bridge_port() const { return _bridge_port; }
  // orvocore's exit status after SIGINT (stops it; -1 when it had to be killed).
  int stop_core();

private:
  // The bridge serves, ros_control runs, the joints are on their path.
  void wait_for_the_robot();

  TempDir _dir;
  std::unique_ptr<RosMaster> _master;
  std::unique_ptr<ChildProcess> _core;
  std::unique_ptr<RobotMonitor> _monitor;
  int _bridge_port = -1;
};

}  // namespace OrvoTest
