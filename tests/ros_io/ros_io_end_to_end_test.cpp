// The bridge in orvocore against a real rosmaster and the ROS command-line
// tools: the dummy robot's joints behind the joint master, the bridge in a
// non-real-time thread and a probe plug-in as the task to switch.

#include <signal.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <fstream>
#include <memory>
#include <sstream>

#include <gtest/gtest.h>

#include <orvo_msgs/SetControlMask.h>

#include "child_process.h"
#include "ros_master.h"
#include "run_tool.h"
#include "temp_dir.h"
#include "wait_until.h"
#include "dummy_arm.h"

namespace {

using namespace std::chrono_literals;
using OrvoTest::ChildProcess;
using OrvoTest::RosMaster;
using OrvoTest::kProcessPoll;
using OrvoTest::run_tool;
using OrvoTest::wait_until;

// The example dummy robot with a 10 ms thread for the bridge and a 2 ms
// thread for the probe. The sensors have no driver: the bridge publishes
// their client devices' (zero) records.
OrvoTest::RobotConfig robot_config(const std::string& example) {
  OrvoTest::RobotConfig config = OrvoTest::dummy_arm_config(example);
  config.srdf("dummy_arm.srdf", OrvoTest::read_file(example + "dummy_arm.srdf"))
      .device("joint_master", "all_joints", 100)
      .device("ft_gz", "wrist_ft", 200)
      .device("imu_gz", "base_imu", 300)
      .device("link_state_sensor", "flange_lss", 400)
      .thread(OrvoTest::WorkerThread("hal_thread", "1ms").fifo(60).devices({"joint_dummy", "joint_master"}))
      .thread(OrvoTest::WorkerThread("ctrl_thread", "2ms").task("probe", "rosio_probe"))
      .thread(OrvoTest::WorkerThread("ros_thread", "10ms").task("ros_io", "ros_io"));
  return config;
}

class RosIoEndToEnd : public ::testing::Test {
protected:
  void SetUp() override {
    _port = OrvoTest::free_loopback_port();
    _config = robot_config(std::string(ORVO2_SOURCE_DIR) + "/examples/dummy_robot/").write(_dir);
    OrvoTest::export_ros_environment(_port, _dir.path() + "/ros_home");
    ::setenv("PYTHONPATH", ORVO2_TEST_PYTHONPATH, 1);
    ::setenv("ROS_PACKAGE_PATH", ORVO_MSGS_SHARE_PARENT, 1);
  }

  // Before orvocore runs, a port taken meanwhile is given up for another.
  void start_master() {
    for (int attempt = 0; attempt < 3; ++attempt) {
      _master = std::make_unique<RosMaster>(_port, _dir.path() + "/master.log");
      if (_master->ready() || _core) {
        return;
      }
      _port = OrvoTest::free_loopback_port();
      OrvoTest::export_ros_environment(_port, _dir.path() + "/ros_home");
    }
  }

  void start_core() {
    _core = std::make_unique<ChildProcess>(std::vector<std::string>{ORVOCORE, "-C", _config},
                                           _dir.path() + "/orvocore.log");
  }

  // orvocore runs and the bridge's last service is advertised.
  bool bridge_up() {
    return wait_until(
        [this] {
          return run_tool("/usr/bin/rosservice list", 10).find("/orvocore/set_filter_profile_fast") !=
                 std::string::npos;
        },
        60s, kProcessPoll);
  }

  std::string call(const std::string& service, const std::string& args = "") {
    return run_tool("/usr/bin/rosservice call /orvocore/" + service + " " + args);
  }

  std::string echo_once(const std::string& topic) {
    return run_tool("/usr/bin/rostopic echo -n 1 /orvocore/" + topic);
  }

  void TearDown() override {
    if (_core) {
      EXPECT_EQ(_core->stop(), 0) << _core->output();
    }
    _master.reset();
  }

  OrvoTest::TempDir _dir{"ros_io_e2e"};
  int _port = 0;
  std::string _config;
  std::unique_ptr<RosMaster> _master;
  std::unique_ptr<ChildProcess> _core;
};

TEST_F(RosIoEndToEnd, JointStatesStatisticsStatusAndDescription) {
  start_master();
  ASSERT_TRUE(_master->ready());
  start_core();
  ASSERT_TRUE(bridge_up()) << _core->output();

  const std::string joints = echo_once("joint_states");
  for (const char* joint : {"shoulder_yaw", "shoulder_pitch", "elbow_pitch", "wrist_roll",
                            "wrist_pitch", "wrist_yaw"}) {
    EXPECT_NE(joints.find(std::string("- ") + joint), std::string::npos) << joints;
  }
  EXPECT_NE(joints.find("temperature_motor: ["), std::string::npos) << joints;
  EXPECT_NE(joints.find("frame_id: ''"), std::string::npos) << joints;

  const std::string statistics = echo_once("statistics");
  for (const char* name : {"name: \"hal_thread\"", "name: \"ctrl_thread\"", "name: \"ros_thread\"",
                           "name: \"probe\"", "thread: \"ctrl_thread\"", "name: \"ros_io\"",
                           "thread: \"ros_thread\"", "state: \"Running\"", "state: \"Initialized\""}) {
    EXPECT_NE(statistics.find(name), std::string::npos) << name << "\n" << statistics;
  }

  const std::string info = echo_once("joint_device_info");
  EXPECT_NE(info.find("filter_active: False"), std::string::npos) << info;
  EXPECT_NE(info.find("mask: "), std::string::npos) << info;

  const std::string pose = echo_once("link_state/flange/pose");
  EXPECT_NE(pose.find("frame_id: \"world\""), std::string::npos) << pose;
  EXPECT_NE(echo_once("link_state/flange/twist").find("frame_id: \"world\""), std::string::npos);
  EXPECT_NE(echo_once("ft/wrist_ft").find("frame_id: \"wrist_ft\""), std::string::npos);
  const std::string imu = echo_once("imu/base_imu");
  EXPECT_NE(imu.find("frame_id: \"base_imu\""), std::string::npos) << imu;
  EXPECT_NE(imu.find("orientation_covariance: [0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0]"),
            std::string::npos)
      << imu;
  EXPECT_NE(_core->output().find("advertised lss topic for link 'flange' \n"), std::string::npos);

  const std::string description = run_tool(
      "/usr/bin/python3 -c \"import rosgraph; m = rosgraph.Master('/probe'); "
      "print(m.getParam('/orvocore/robot_description')[:200]); "
      "print(m.getParam('/orvocore/robot_description_semantic')[:200])\"");
  EXPECT_NE(description.find("<robot name=\"dummy_arm\""), std::string::npos) << description;
  EXPECT_NE(description.find("group"), std::string::npos) << description;
}

TEST_F(RosIoEndToEnd, PluginServicesAnswerAndLifecycleEventsArrive) {
  start_master();
  ASSERT_TRUE(_master->ready());
  start_core();
  ASSERT_TRUE(bridge_up()) << _core->output();

  const std::string list = call("get_plugin_list");
  EXPECT_NE(list.find("plugins: \n  - probe\n  - ros_io"), std::string::npos) << list;

  ChildProcess lifecycle({"/usr/bin/python3", "/usr/bin/rostopic", "echo", "-n", "4",
                          "/orvocore/lifecycle_events"},
                         _dir.path() + "/lifecycle.log");
  ASSERT_TRUE(wait_until(
      [] {
        const std::string topic = run_tool("/usr/bin/rostopic info /orvocore/lifecycle_events", 10);
        return topic.find("Subscribers: \n * /rostopic") != std::string::npos;
      },
      20s, kProcessPoll));

  EXPECT_NE(call("probe/state").find("state: \"Initialized\""), std::string::npos);
  std::string reply = call("probe/switch", "true");
  EXPECT_NE(reply.find("success: True\nmessage: \"Successfully started 'probe'\""), std::string::npos)
      << reply;
  EXPECT_TRUE(wait_until([this] { return call("probe/state").find("\"Running\"") != std::string::npos; },
                         10s, kProcessPoll));
  reply = call("probe/switch", "false");
  EXPECT_NE(reply.find("success: True\nmessage: \"Successfully halted 'probe'\""), std::string::npos)
      << reply;
  reply = call("ros_io/switch", "false");
  EXPECT_NE(reply.find("success: False\nmessage: \"Unable to halt 'ros_io'\""), std::string::npos)
      << reply;
  // An aborted bridge would answer no call again: refused as its stop is.
  reply = call("ros_io/abort");
  EXPECT_NE(reply.find("success: False\nmessage: \"Unable to  abort 'ros_io'\""), std::string::npos)
      << reply;
  EXPECT_NE(call("ros_io/state").find("state: \"Running\""), std::string::npos);
  reply = call("probe/abort");
  EXPECT_NE(reply.find("success: True\nmessage: \"Successfully aborted 'probe'\""), std::string::npos)
      << reply;
  reply = call("probe/switch", "true");
  EXPECT_NE(reply.find("success: False\nmessage: \"Unable to start 'probe'\""), std::string::npos)
      << reply;
  reply = call("probe/set_control_mask", "7");
  EXPECT_NE(reply.find("success: False\nmessage: \"Unable to set control mask to 7 for task 'probe', "
                       "server did not respond within timeout\""),
            std::string::npos)
      << reply;

  ASSERT_TRUE(wait_until([&lifecycle] { return !lifecycle.running(); }, 20s, kProcessPoll)) << lifecycle.output();
  const std::string events = lifecycle.output();
  EXPECT_NE(events.find("plugin_name: \"probe\"\nfrom_state: \"Initialized\"\nto_state: \"Starting\""),
            std::string::npos)
      << events;
  EXPECT_NE(events.find("from_state: \"Starting\"\nto_state: \"Running\""), std::string::npos) << events;
  EXPECT_NE(events.find("from_state: \"Running\"\nto_state: \"Stopped\""), std::string::npos) << events;
  EXPECT_NE(events.find("from_state: \"Stopped\"\nto_state: \"Aborted\""), std::string::npos) << events;
}

TEST_F(RosIoEndToEnd, JointMasterTuningServicesAnswer) {
  start_master();
  ASSERT_TRUE(_master->ready());
  start_core();
  ASSERT_TRUE(bridge_up()) << _core->output();

  std::string reply = call("enable_joint_filter", "true");
  EXPECT_NE(reply.find("success: True\nmessage: \"Successfully enabled joint tx filter\""),
            std::string::npos)
      << reply;
  reply = call("set_filter_profile_safe");
  EXPECT_NE(reply.find("message: \"Succesfully set filter cutoff to 1 Hz\""), std::string::npos) << reply;
  reply = call("set_filter_profile_fast");
  EXPECT_NE(reply.find("message: \"Succesfully set filter cutoff to 20 Hz\""), std::string::npos) << reply;
  reply = call("set_filter_profile_medium");
  EXPECT_NE(reply.find("success: True\nmessage: \"Succesfully set filter cutoff to 5 Hz\""),
            std::string::npos)
      << reply;
  reply = call("joint_master/set_control_mask", "7");
  EXPECT_NE(reply.find("success: True\nmessage: \"Succesfully set control mask to 7 for joint master\""),
            std::string::npos)
      << reply;

  // The joint master's status reports what was set.
  const std::string info = echo_once("joint_device_info");
  EXPECT_NE(info.find("filter_active: True\nfilter_cutoff_hz: 5.0\nmask: 7"), std::string::npos) << info;

  // A request that ends before its mask is refused by roscpp; the bridge goes on.
  const std::string raw = std::string("/usr/bin/python3 ") + ORVO2_RAW_SERVICE_CALL +
                          " /orvocore/joint_master/set_control_mask " +
                          ros::service_traits::md5sum<orvo_msgs::SetControlMask>() + " ";
  EXPECT_NE(run_tool(raw + "''").find("ok=0"), std::string::npos);
  EXPECT_NE(run_tool(raw + "03").find("ok=1"), std::string::npos);
  EXPECT_TRUE(_core->running());

  reply = call("enable_joint_filter", "false");
  EXPECT_NE(reply.find("success: True\nmessage: \"Successfully disabled joint tx filter\""),
            std::string::npos)
      << reply;
}

// A logger tool lists orvocore's loggers without the fault of rosconsole's
// own listing, which crashed the process at its next logger lookup.
TEST_F(RosIoEndToEnd, LoggerListingsLeaveOrvocoreRunningAndAnswering) {
  start_master();
  ASSERT_TRUE(_master->ready());
  start_core();
  ASSERT_TRUE(bridge_up()) << _core->output();

  for (int call_number = 0; call_number < 3; ++call_number) {
    const std::string loggers = call("get_loggers");
    EXPECT_NE(loggers.find("name: \"ros.roscpp\""), std::string::npos) << loggers;
  }
  // New ROS clients of orvocore: a rospy node, a subscriber, a service call.
  run_tool("/usr/bin/python3 -c \"import rospy; rospy.init_node('logger_probe', disable_signals=True)\"");
  EXPECT_NE(echo_once("statistics").find("name: \"ros_io\""), std::string::npos);
  EXPECT_NE(call("get_plugin_list").find("plugins: \n  - probe\n  - ros_io"), std::string::npos);
  EXPECT_TRUE(_core->running()) << _core->output();
}

// roslaunch finds orvocore in the build's ROS package, hands it the node's
// name, and its SIGINT stops orvocore in order.
TEST_F(RosIoEndToEnd, RoslaunchRunsTheExampleAndStopsItInOrder) {
  start_master();
  ASSERT_TRUE(_master->ready());
  ChildProcess launch({"/usr/bin/python3", "/usr/bin/roslaunch",
                       std::string(ORVO2_SOURCE_DIR) + "/examples/dummy_robot/orvocore.launch", "name:=launched_core"},
                      _dir.path() + "/roslaunch.log");
  // roslaunch's nodes outlive a roslaunch that is killed: always end it with SIGINT.
  struct Interrupt {
    ChildProcess& launch;
    ~Interrupt() { launch.stop(SIGINT, 20s); }
  } interrupt{launch};
  ASSERT_TRUE(wait_until(
      [] {
        return run_tool("/usr/bin/rosservice list", 10).find("/launched_core/set_filter_profile_fast") !=
               std::string::npos;
      },
      30s, kProcessPoll))
      << launch.output();
  EXPECT_NE(run_tool("/usr/bin/rosnode list").find("/launched_core"), std::string::npos);

  launch.signal(SIGINT);
  ASSERT_TRUE(launch.wait_for_exit(20s)) << launch.output();
  const std::string output = launch.output();
  EXPECT_NE(output.find("started running"), std::string::npos) << output;
  EXPECT_NE(output.find("gracefully stopping"), std::string::npos) << output;
  EXPECT_EQ(output.find("PARSE ERROR"), std::string::npos) << output;
}

TEST_F(RosIoEndToEnd, StartUpWaitsForTheMasterAndGoesOnWhenItAppears) {
  start_core();
  ASSERT_TRUE(wait_until(
      [this] { return _core->output().find("waiting for ros master.. \n") != std::string::npos; }, 10s, kProcessPoll))
      << _core->output();
  EXPECT_EQ(_core->output().find("started running"), std::string::npos);
  ASSERT_TRUE(_core->running());

  start_master();
  ASSERT_TRUE(_master->ready());
  ASSERT_TRUE(wait_until(
      [this] { return _core->output().find("started running") != std::string::npos; }, 20s, kProcessPoll))
      << _core->output();
  ASSERT_TRUE(bridge_up()) << _core->output();
  EXPECT_NE(echo_once("joint_states").find("- wrist_yaw"), std::string::npos);
}

TEST_F(RosIoEndToEnd, SigintEndsOrvocoreWhoseMasterIsFrozen) {
  start_master();
  ASSERT_TRUE(_master->ready());
  start_core();
  ASSERT_TRUE(bridge_up()) << _core->output();

  // A master that stops answering: unregistering from it would wait for good.
  struct Thaw {
    pid_t pid;
    ~Thaw() { ::kill(pid, SIGCONT); }
  } thaw{_master->pid()};
  ASSERT_EQ(::kill(_master->pid(), SIGSTOP), 0);
  const auto interrupted = std::chrono::steady_clock::now();
  _core->signal(SIGINT);
  ASSERT_TRUE(_core->wait_for_exit(10s)) << _core->output();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - interrupted).count();
  std::cout << "frozen ROS master: orvocore ended " << seconds << " s after SIGINT\n";
  EXPECT_LT(seconds, 6.0);
  EXPECT_EQ(_core->exit_code(), 1);
  EXPECT_NE(_core->output().find("gracefully stopping"), std::string::npos) << _core->output();
  EXPECT_NE(_core->output().find("orvocore: stopping did not end within 3000 ms: still releasing thread '"),
            std::string::npos)
      << _core->output();
  _core.reset();  // its status is checked above
}

// What a service manager (SIGTERM), a closed terminal (SIGHUP) or a user
// (SIGQUIT) sends stops orvocore as SIGINT does: in order, status 0, and the
// node's services and topics unregistered from the master.
TEST_F(RosIoEndToEnd, StopSignalsEndOrvocoreInOrderAndUnregisterTheNode) {
  start_master();
  ASSERT_TRUE(_master->ready());
  for (const int stop_signal : {SIGTERM, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(strsignal(stop_signal));
    start_core();
    ASSERT_TRUE(bridge_up()) << _core->output();
    const auto signalled = std::chrono::steady_clock::now();
    _core->signal(stop_signal);
    ASSERT_TRUE(_core->wait_for_exit(10s)) << _core->output();
    std::cout << strsignal(stop_signal) << ": orvocore ended "
              << std::chrono::duration<double>(std::chrono::steady_clock::now() - signalled).count()
              << " s after the signal\n";
    EXPECT_EQ(_core->exit_code(), 0) << _core->output();
    EXPECT_NE(_core->output().find("gracefully stopping"), std::string::npos) << _core->output();
    EXPECT_EQ(_core->output().find("stopping did not end"), std::string::npos) << _core->output();
    const std::string services = run_tool("/usr/bin/rosservice list", 10);
    EXPECT_EQ(services.find("/orvocore/"), std::string::npos) << services;
  }
}

// Any peer may tell the node to shut down over XML-RPC: the warning names
// who asked and why, and the robot runs on without ROS.
TEST_F(RosIoEndToEnd, APeersShutdownRequestIsNamedInTheWarning) {
  start_master();
  ASSERT_TRUE(_master->ready());
  start_core();
  ASSERT_TRUE(bridge_up()) << _core->output();
  const std::string answer = run_tool(
      "/usr/bin/python3 -c \"import rosgraph, xmlrpc.client; "
      "uri = rosgraph.Master('/red_team').lookupNode('/orvocore'); "
      "print(xmlrpc.client.ServerProxy(uri).shutdown('/red_team', 'drill'))\"");
  EXPECT_NE(answer.find("[1, '', 0]"), std::string::npos) << answer;
  ASSERT_TRUE(wait_until(
      [this] {
        return _core->output().find("ROS has shut the node '/orvocore' down at the XML-RPC request 'shutdown' of "
                                    "'/red_team' (reason: 'drill'; ") != std::string::npos;
      },
      10s, kProcessPoll))
      << _core->output();
  EXPECT_TRUE(_core->running());
}

// A test's master is its own: a port that another master took between
// picking and binding it does not pass for ours.
TEST(TestRosMaster, IsNotReadyOnAPortThatAnotherMasterServes) {
  const RosMaster first("ros_master_taken");
  ASSERT_TRUE(first.ready());
  const OrvoTest::TempDir dir("ros_master_taken");
  const RosMaster second(first.port(), dir.path() + "/master.log");
  EXPECT_FALSE(second.ready());
}

}  // namespace
