// The simulated example robot end to end, in two processes: orvosim runs
// examples/sim_robot/sim_arm.sdf with the four device servers, and the robot
// side is either this process, with the driver containers of the device
// libraries that examples/sim_robot/config.yaml configures and their client
// containers in a 1 ms cycle, or orvocore on that configuration with a test
// control plug-in. A position is commanded to every joint through the clients.

#include <chrono>
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <mqueue.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <yaml-cpp/yaml.h>

#include "child_process.h"
#include "devices/joint_records.h"
#include "orvo2/channel/shm_segment.h"
#include "orvo2/configuration/config_parser.h"
#include "orvo2/devices/device_container_base.h"
#include "orvo2/devices/force_torque.h"
#include "orvo2/devices/imu.h"
#include "orvo2/devices/joint_base.h"
#include "orvo2/devices/link_state_sensor.h"
#include "orvo_interface/config_options.h"
#include "orvo_interface/orvo_interface.h"
#include "ros_master.h"
#include "run_tool.h"
#include "temp_dir.h"
#include "wait_until.h"

using namespace std::chrono_literals;
using Orvo::Hal::DeviceContainerBase;
using Orvo::Hal::ForceTorque;
using Orvo::Hal::Imu;
using Orvo::Hal::JointBase;
using Orvo::Hal::LinkStateSensor;

namespace {

// orvosim on the example model, started and ready; at the end what a killed
// run leaves behind (the four device channels, the clock queue) is removed.
class SimulatorRun {
public:
  SimulatorRun() : process({ORVOSIM_PATH, std::string(ORVO2_EXAMPLES_DIR) + "/sim_robot/sim_arm.sdf"}) {}
  ~SimulatorRun() {
    process.stop(SIGKILL);
    for (const char* channel : {"joint_gz", "link_state_sensor", "imu_gz", "ft_gz"}) {
      Orvo::shm::ShmSegment::unlink(std::string("/orvo2_") + channel);
    }
    mq_unlink("/gz_to_orvo2_time");
  }
  bool ready() { return process.wait_for_output("4 plug-in(s)", 20s); }

  OrvoTest::ChildProcess process;
};

const std::string kExample = std::string(ORVO2_EXAMPLES_DIR) + "/sim_robot";
const char* const kSimTypes[] = {"joint_gz", "imu_gz", "ft_gz", "link_state_sensor"};

// The robot side of the example: for each simulated device type of the
// configuration, its driver container and a client container on the same
// in-process topics.
struct RobotSide {
  RobotSide() {
    Orvo::OrvoInterface model;
    const std::string config = kExample + "/config.yaml";
    model.init(Orvo::ConfigOptions::FromConfigFile(config));
    const Orvo::Hal::HardwareDescription hw = Orvo::ConfigParser(YAML::LoadFile(config), model).getHw();
    for (const char* type : kSimTypes) {
      drivers.push_back(DeviceContainerBase::MakeDriver(type, hw.getDeviceInfoAll(type)));
      clients[type] = DeviceContainerBase::MakeClient(type, hw.getDeviceInfoAll(type));
    }
  }

  template <typename Interface>
  Interface& device(const std::string& type, std::size_t index) {
    return dynamic_cast<Interface&>(*clients.at(type)->get_device_base_vector().at(index));
  }
  std::size_t count(const std::string& type) { return clients.at(type)->get_device_base_vector().size(); }

  // One cycle as the hardware thread runs it, with the clients' consumer in
  // between. True when every driver container received new records.
  template <typename Consume>
  bool cycle(Consume consume, bool move_clients) {
    bool all = true;
    for (auto& container : drivers) all = container->sense_all() && all;
    for (auto& entry : clients) entry.second->sense_all();
    consume();
    if (move_clients) {
      clients.at("joint_gz")->move_all();
    }
    for (auto& container : drivers) container->move_all();
    return all;
  }

  std::vector<std::unique_ptr<DeviceContainerBase>> drivers;
  std::map<std::string, std::unique_ptr<DeviceContainerBase>> clients;
};

// Runs cycles every millisecond until `done` or `timeout`; true when done.
template <typename Step>
bool run_cycles(std::chrono::milliseconds timeout, Step step) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  auto next = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() < end) {
    if (step()) return true;
    next += 1ms;
    std::this_thread::sleep_until(next);
  }
  return false;
}

struct Range {
  double low = INFINITY;
  double high = -INFINITY;
  void add(double v) {
    low = std::min(low, v);
    high = std::max(high, v);
  }
  double span() const { return high - low; }
};

}  // namespace

TEST(SimRobot, JointsSettleAtTheCommandSensorsFollowAndTheRobotOutlivesTheSimulator) {
  SimulatorRun run;
  OrvoTest::ChildProcess& sim = run.process;
  ASSERT_TRUE(run.ready()) << sim.output() << sim.errors();

  RobotSide robot;
  ASSERT_EQ(robot.count("joint_gz"), 6u);
  ASSERT_EQ(robot.count("link_state_sensor"), 2u);

  // Connected: every container has received a frame.
  ASSERT_TRUE(run_cycles(10s, [&] { return robot.cycle([] {}, false); })) << sim.errors();

  // Hold every joint with the gains in effect, and command the targets.
  const double targets[] = {0.4, -0.3, 0.5, 0.2, -0.4, 0.6};
  auto joint = [&](std::size_t i) -> JointBase& { return robot.device<JointBase>("joint_gz", i); };
  for (std::size_t i = 0; i < 6; ++i) {
    Orvo::Hal::joint_tx hold;
    hold.reset(joint(i).get_rx());
    joint(i).set_tx(hold);
    joint(i).set_pos_ref(targets[i]);
  }
  EXPECT_EQ(joint(0).get_stiffness(), 300.0) << "the model's gains, echoed";
  EXPECT_EQ(joint(3).get_stiffness(), 100.0) << "the initial gains, echoed";

  Imu& imu = robot.device<Imu>("imu_gz", 0);
  ForceTorque& ft = robot.device<ForceTorque>("ft_gz", 0);
  LinkStateSensor& flange = robot.device<LinkStateSensor>("link_state_sensor", 1);
  EXPECT_EQ(flange.getLinkName(), "flange");
  EXPECT_NEAR(flange.getPose().translation().z(), 0.91, 1e-6) << "upright before the command";
  Range imu_rate, ft_torque, flange_x;
  int settled_cycles = 0;
  const bool settled = run_cycles(15s, [&] {
    robot.cycle(
        [&] {
          imu_rate.add(imu.getAngularVelocity().norm());
          ft_torque.add(ft.getWrench()(4));
          flange_x.add(flange.getPose().translation().x());
          bool still = true;
          for (std::size_t i = 0; i < 6; ++i) {
            still = still && std::abs(joint(i).get_link_pos() - targets[i]) < 0.005 &&
                    std::abs(joint(i).get_link_vel()) < 0.01;
          }
          settled_cycles = still ? settled_cycles + 1 : 0;
        },
        true);
    return settled_cycles >= 200;
  });
  ASSERT_TRUE(settled) << sim.errors();
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_NEAR(joint(i).get_link_pos(), targets[i], 0.005) << joint(i).get_name();
    EXPECT_FLOAT_EQ(joint(i).get_pos_ref(), targets[i]) << "the command, echoed";
  }

  // The sensors moved with the arm and read what a still arm reads.
  EXPECT_GT(imu_rate.span(), 0.1);
  EXPECT_GT(ft_torque.span(), 0.1);
  EXPECT_GT(flange_x.span(), 0.05);
  EXPECT_NEAR(imu.getOrientation().norm(), 1.0, 1e-6);
  EXPECT_NEAR(imu.getLinearAcceleration().norm(), 9.8, 0.05) << "at rest: gravity only";
  EXPECT_NEAR(ft.getWrench().head<3>().norm(), 5.3 * 9.8, 0.5) << "the weight of the links above the shoulder";
  const Eigen::Quaterniond flange_rotation(flange.getPose().rotation());
  EXPECT_NEAR(flange_rotation.angularDistance(imu.getOrientation()), 0.0, 1e-5)
      << "the IMU sits on the flange: both see its orientation";
  const Eigen::Vector3d forearm = robot.device<LinkStateSensor>("link_state_sensor", 0).getPose().translation();
  const double wrist = (flange.getPose().translation() - forearm).norm();
  EXPECT_LT(wrist, 0.39) << "shorter than the straight wrist, bent at its pitch joint";
  EXPECT_GT(wrist, 0.25) << "longer than its first segment";

  // The simulator dies: the robot side goes on cycling, receives nothing new
  // and keeps what it had, then stops in bounded time.
  sim.stop(SIGKILL);
  int received_after_kill = 0;
  run_cycles(800ms, [&] {
    received_after_kill += robot.cycle([] {}, true) ? 1 : 0;
    return false;
  });
  EXPECT_LE(received_after_kill, 1);
  EXPECT_NEAR(joint(2).get_link_pos(), targets[2], 0.005);
  const auto stop_start = std::chrono::steady_clock::now();
  robot.drivers.clear();
  robot.clients.clear();
  EXPECT_LT(std::chrono::steady_clock::now() - stop_start, 1s);
}

namespace {

// The example configuration for orvocore, in `dir`: without the joint
// master, the ROS bridge and the command input (they need a ROS master), with
// the task "hold" of the test control plug-in commanding `targets` in the
// control thread.
std::string hold_config(const OrvoTest::TempDir& dir, const std::vector<std::string>& targets) {
  YAML::Node root = YAML::LoadFile(kExample + "/config.yaml");
  root["robot"]["urdf"] = kExample + "/" + root["robot"]["urdf"].as<std::string>();
  root["robot"]["srdf"] = kExample + "/" + root["robot"]["srdf"].as<std::string>();
  root["devices"].remove("joint_master");
  root["threads"].remove("ros_thread");
  root["threads"]["ctrl_thread"]["tasks"].remove("ros_control");
  YAML::Node hal_devices;
  for (const auto& type : root["threads"]["hal_thread"]["devices"]) {
    if (type.as<std::string>() != "joint_master") hal_devices.push_back(type.as<std::string>());
  }
  root["threads"]["hal_thread"]["devices"] = hal_devices;
  YAML::Node hold;
  hold["plugin"] = "gz_test_position";
  hold["params"]["targets"]["type"] = "string_list";
  for (const std::string& target : targets) hold["params"]["targets"]["value"].push_back(target);
  root["threads"]["ctrl_thread"]["tasks"]["hold"] = hold;
  YAML::Emitter out;
  out << root;
  return dir.write("config.yaml", out.c_str());
}

double reported(const std::string& out, const std::string& what) {
  const std::string key = "gz_test_position: " + what + " ";
  const auto at = out.find(key);
  return at == std::string::npos ? NAN : std::stod(out.substr(at + key.size()));
}

}  // namespace

TEST(SimRobot, OrvocoreHoldsTheCommandedPositionsAndStopsAfterTheSimulatorDied) {
  SimulatorRun run;
  ASSERT_TRUE(run.ready()) << run.process.output() << run.process.errors();
  OrvoTest::TempDir dir("gz_sim_robot");
  const std::vector<std::string> targets{"0.4", "-0.3", "0.5", "0.2", "-0.4", "0.6"};
  OrvoTest::ChildProcess core({ORVOCORE_PATH, "--simtime", "--config", hold_config(dir, targets)});
  ASSERT_TRUE(core.wait_for_output("started running", 20s)) << core.output() << core.errors();
  ASSERT_TRUE(core.wait_for_output("gz_test_position: settled", 20s)) << core.output() << core.errors();

  // The simulator dies; orvocore goes on until it is told to stop.
  run.process.stop(SIGKILL);
  std::this_thread::sleep_for(500ms);
  ASSERT_TRUE(core.running()) << core.errors();
  core.signal(SIGINT);
  ASSERT_TRUE(core.wait_for_exit(5s));
  EXPECT_EQ(core.exit_code(), 0) << core.errors();
  const std::string out = core.output();
  EXPECT_THAT(out, testing::HasSubstr("gracefully stopping"));

  const char* const joints[] = {"shoulder_yaw", "shoulder_pitch", "elbow_pitch",
                                "wrist_roll",   "wrist_pitch",    "wrist_yaw"};
  for (std::size_t i = 0; i < 6; ++i) {
    EXPECT_NEAR(reported(out, "joint '" + std::string(joints[i]) + "' position"), std::stod(targets[i]), 0.005)
        << out;
  }
  EXPECT_GT(reported(out, "imu rate span"), 0.1) << out;
  EXPECT_GT(reported(out, "ft torque span"), 0.1) << out;
  EXPECT_GT(reported(out, "flange x span"), 0.05) << out;
  EXPECT_NEAR(reported(out, "imu acceleration"), 9.8, 0.05) << out;
  EXPECT_NEAR(reported(out, "ft force"), 5.3 * 9.8, 0.5) << out;
  // The process clock followed the simulator: seconds since the simulation
  // began, not since 1970.
  const double clock = reported(out, "clock seconds");
  EXPECT_GT(clock, 0.2) << out;
  EXPECT_LT(clock, 120.0) << out;
}

namespace {

// The position of `joint` in a `rostopic echo` of the bridge's joint states.
double echoed_position(const std::string& joint) {
  const std::string text = OrvoTest::run_tool(
      "/usr/bin/python3 -c \"import rospy, orvo_msgs.msg as m; rospy.init_node('echo', anonymous=True, "
      "disable_signals=True); s = rospy.wait_for_message('/orvocore/joint_states', m.JointState, 10); "
      "print('at', s.link_position[list(s.name).index('" + joint + "')])\"");
  const auto at = text.find("at ");
  return at == std::string::npos ? NAN : std::atof(text.c_str() + at + 3);
}

}  // namespace

// The example as a ROS user drives it: its own configuration (bridge,
// command input, filter), a stream of commands at 100 Hz moves a joint
// without tripping a limit.
TEST(SimRobot, TheExampleMovesOnRosCommands) {
  const OrvoTest::RosMaster master("gz_sim_ros");
  ::setenv("PYTHONPATH", ORVO_MSGS_PYTHON_DIR, 1);
  SimulatorRun run;
  ASSERT_TRUE(run.ready()) << run.process.output() << run.process.errors();
  OrvoTest::ChildProcess core({ORVOCORE_PATH, "--simtime", "--config", kExample + "/config.yaml"});
  ASSERT_TRUE(core.wait_for_output("started running", 30s)) << core.output() << core.errors();
  ASSERT_TRUE(OrvoTest::wait_until(
      [] { return OrvoTest::run_tool("/usr/bin/rosservice list", 10).find("/orvocore/ros_control/switch") != std::string::npos; },
      30s, OrvoTest::kProcessPoll));
  EXPECT_NE(OrvoTest::run_tool("/usr/bin/rosservice call /orvocore/ros_control/switch 'data: true'").find("success: True"),
            std::string::npos);

  OrvoTest::ChildProcess stream({"/usr/bin/python3", "/usr/bin/rostopic", "pub", "-r", "100", "/orvocore/command",
                                 "orvo_msgs/JointCommand", "{name: [elbow_pitch], position: [0.5], ctrl_mode: [1]}"});
  EXPECT_TRUE(OrvoTest::wait_until([] { return std::abs(echoed_position("elbow_pitch") - 0.5) < 0.02; }, 30s,
                                   OrvoTest::kProcessPoll))
      << core.output();
  stream.stop();
  EXPECT_THAT(core.output(), testing::Not(testing::HasSubstr("safety limits exceeded"))) << core.output();
  EXPECT_EQ(core.stop(), 0) << core.output();
}
