#include <gtest/gtest.h>
#include <sched.h>

#include <stdexcept>

#include <yaml-cpp/yaml.h>

#include "orvo2/configuration/config_parser.h"
#include "orvo_interface/config_options.h"
#include "orvo_interface/orvo_interface.h"

namespace {

using namespace std::chrono_literals;

const std::string kExample = std::string(ORVO2_EXAMPLES_DIR) + "/dummy_robot/config.yaml";

// The example robot's model: its joints are the ones the parser accepts.
const Orvo::OrvoInterface& example_model() {
  static const Orvo::OrvoInterface* model = [] {
    auto* m = new Orvo::OrvoInterface;
    m->init(Orvo::ConfigOptions::FromConfigFile(kExample));
    return m;
  }();
  return *model;
}

TEST(ConfigParser, ExampleRobot) {
  const Orvo::ConfigParser parser(YAML::LoadFile(kExample), example_model());

  const Orvo::Hal::HardwareDescription hw = parser.getHw();
  EXPECT_EQ(hw.types, (std::set<std::string>{"joint_dummy", "joint_master"}));
  ASSERT_EQ(hw.by_type.at("joint_dummy").size(), 6u);
  EXPECT_EQ(hw.by_type.at("joint_dummy")[2].name, "elbow_pitch");
  EXPECT_EQ(hw.by_type.at("joint_dummy")[2].id, 3);
  ASSERT_EQ(hw.by_type.at("joint_master").size(), 1u);
  EXPECT_EQ(hw.by_name.at("all_joints").type, "joint_master");
  EXPECT_EQ(hw.by_id.at(100).name, "all_joints");
  EXPECT_EQ(hw.by_name.size(), 7u);
  EXPECT_EQ(hw.by_id.size(), 7u);
  // Every joint device's id is the model's id of that joint.
  for (const auto& device : hw.by_type.at("joint_dummy")) {
    EXPECT_EQ(example_model().getJointByName(device.name)->getJointId(), device.id);
  }

  EXPECT_EQ(parser.getThreads(), (std::vector<std::string>{"hal_thread", "ros_thread", "ctrl_thread"}));
  const Orvo::SchedArgs hal = parser.getThreadSchedArgs("hal_thread");
  EXPECT_EQ(hal.period, 1ms);
  EXPECT_EQ(hal.policy, SCHED_FIFO);
  EXPECT_EQ(hal.priority, 60);
  EXPECT_EQ(parser.getThreadHalArgs("hal_thread").device_types,
            (std::vector<std::string>{"joint_dummy", "joint_master"}));
  EXPECT_TRUE(parser.getThreadTaskArgs("hal_thread").tasks.empty());
  EXPECT_EQ(parser.getThreadSchedArgs("ctrl_thread").priority, 50);
  EXPECT_TRUE(parser.getThreadHalArgs("ctrl_thread").device_types.empty());
  ASSERT_EQ(parser.getThreadTaskArgs("ctrl_thread").tasks.size(), 1u);
  EXPECT_EQ(parser.getThreadTaskArgs("ctrl_thread").tasks[0].plugin, "ros_control");
  ASSERT_EQ(parser.getThreadTaskArgs("ros_thread").tasks.size(), 1u);
  EXPECT_EQ(parser.getThreadTaskArgs("ros_thread").tasks[0].plugin, "ros_io");
  EXPECT_EQ(parser.getThreadSchedArgs("ros_thread").policy, SCHED_OTHER);
  EXPECT_EQ(parser.getParameters().size(), 2u);
  EXPECT_THROW(parser.getThreadSchedArgs("no_thread"), std::out_of_range);
}

TEST(ConfigParser, TasksPoliciesAndTypedParameters) {
  const Orvo::ConfigParser parser(YAML::Load(R"(
robot: {urdf: x.urdf}
joints:
  joint_gz: [{name: wrist_yaw, id: 6}]
devices:
  ft_gz: [{name: wrist_ft, id: 20}]
threads:
  zeta:
    period: 500us
    devices: [ft_gz]
    tasks:
      b_task: {plugin: ros_io}
      a_task:
        plugin: homing
        params:
          time: {type: double, value: 2.5}
  alpha:
    period: 0.002s
    policy: SCHED_RR
    priority: 10
parameters:
  name: {type: string, value: arm}
  /count: {type: int, value: -4}
  flag: {type: bool, value: true}
  timeout: {type: nanoseconds, value: 250ms}
  list: {type: string_list, value: [a, b]}
  empty_list: {type: string_list, value: []}
)"),
                                  example_model());
  EXPECT_EQ(parser.getThreads(), (std::vector<std::string>{"zeta", "alpha"}));
  const Orvo::SchedArgs zeta = parser.getThreadSchedArgs("zeta");
  EXPECT_EQ(zeta.period, 500us);
  EXPECT_EQ(zeta.policy, SCHED_OTHER);
  EXPECT_EQ(zeta.priority, 0);
  const Orvo::SchedArgs alpha = parser.getThreadSchedArgs("alpha");
  EXPECT_EQ(alpha.period, 2ms);
  EXPECT_EQ(alpha.policy, SCHED_RR);
  EXPECT_EQ(alpha.priority, 10);

  const auto tasks = parser.getThreadTaskArgs("zeta").tasks;
  ASSERT_EQ(tasks.size(), 2u);
  EXPECT_EQ(tasks[0].name, "b_task");
  EXPECT_EQ(tasks[0].plugin, "ros_io");
  EXPECT_TRUE(tasks[0].params.empty());
  EXPECT_EQ(tasks[1].name, "a_task");
  EXPECT_EQ(tasks[1].plugin, "homing");
  EXPECT_EQ(std::get<double>(tasks[1].params.at("time")), 2.5);

  const Orvo::ConfigValueMap params = parser.getParameters();
  EXPECT_EQ(std::get<std::string>(params.at("name")), "arm");
  EXPECT_EQ(std::get<int>(params.at("/count")), -4);
  EXPECT_EQ(std::get<bool>(params.at("flag")), true);
  EXPECT_EQ(std::get<std::chrono::nanoseconds>(params.at("timeout")), 250ms);
  EXPECT_EQ(std::get<std::vector<std::string>>(params.at("list")), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(std::get<std::vector<std::string>>(params.at("empty_list")).empty());

  const auto hw = parser.getHw();
  EXPECT_EQ(hw.by_id.at(20).type, "ft_gz");
  EXPECT_EQ(hw.by_type.at("joint_gz")[0].name, "wrist_yaw");
}

TEST(ConfigParser, BadInputNamesTheFileAndTheKey) {
  const std::string head = "robot: {urdf: x.urdf}\n";
  const std::string joint = "joints:\n  joint_dummy: [{name: wrist_yaw, id: 6}]\n";
  const std::string thread = "threads:\n  rt_main:\n    period: 1ms\n";
  struct Case {
    std::string yaml;
    std::string expected;
  };
  const Case cases[] = {
      // unknown keys
      {head + "thread: {}\n", "thread: unknown key"},
      {"robot: {urdf: x.urdf, sdf: y}\n", "robot/sdf: unknown key"},
      {head + thread + "    prio: 3\n", "threads/rt_main/prio: unknown key"},
      {head + "joints:\n  joint_dummy: [{name: wrist_yaw, id: 6, gain: 1}]\n",
       "joints/joint_dummy[0]/gain: unknown key"},
      {head + thread + "    tasks: {t: {plugin: p, param: {}}}\n", "threads/rt_main/tasks/t/param: unknown key"},
      // wrong types and values
      {head + "threads:\n  rt_main:\n    period: 1\n", "threads/rt_main/period: expected a duration like '1ms'"},
      {head + "threads:\n  rt_main:\n    period: 1min\n", "threads/rt_main/period: expected a duration like '1ms'"},
      {head + "threads:\n  rt_main:\n    period: 0ms\n", "threads/rt_main/period: expected a duration like '1ms'"},
      {head + "threads:\n  rt_main:\n    period: 0.5ns\n", "threads/rt_main/period: expected a duration like '1ms'"},
      {head + "threads:\n  rt_main: {policy: SCHED_FIFO, priority: 5}\n", "threads/rt_main/period: missing"},
      {head + thread + "    policy: FIFO\n", "threads/rt_main/policy: expected SCHED_OTHER, SCHED_FIFO or SCHED_RR"},
      {head + thread + "    policy: SCHED_FIFO\n", "threads/rt_main/priority: missing"},
      {head + thread + "    policy: SCHED_FIFO\n    priority: 100\n", "threads/rt_main/priority: expected 1 to 99"},
      {head + thread + "    priority: 5\n", "threads/rt_main/priority: SCHED_OTHER takes the priority 0"},
      {head + thread + "    policy: SCHED_RR\n    priority: high\n", "threads/rt_main/priority: expected an integer"},
      {head + thread + "    devices: joint_dummy\n", "threads/rt_main/devices: expected a list"},
      {head + "threads: [a]\n", "threads: expected a map"},
      {head + "threads:\n  rt/main: {period: 1ms}\n", "threads/rt/main: 'rt/main' is not a valid name"},
      {head + "joints:\n  joint_dummy: [{name: wrist_yaw, id: six}]\n", "joints/joint_dummy[0]/id: expected an integer"},
      {head + "joints:\n  joint_dummy: [{name: wrist_yaw}]\n", "joints/joint_dummy[0]: expected {name: <name>, id: <integer>}"},
      {head + "joints:\n  joint_dummy: [{name: wrist_yaw, id: -1}]\n", "joints/joint_dummy[0]/id: joint ids are not negative"},
      {head + "parameters:\n  p: 3\n", "parameters/p: expected {type: <type>, value: <value>}"},
      {head + "parameters:\n  p: {type: float, value: 3}\n", "parameters/p/type: unknown type 'float'"},
      {head + "parameters:\n  p: {type: int, value: 3.5}\n", "parameters/p/value: expected an integer, got '3.5'"},
      {head + "parameters:\n  p: {type: bool, value: maybe}\n", "parameters/p/value: expected true or false"},
      {head + "parameters:\n  p: {type: string_list, value: [a, [b]]}\n", "parameters/p/value[1]: expected text"},
      {head + "parameters:\n  p: {type: nanoseconds, value: soon}\n", "parameters/p/value: expected a duration"},
      {head + "parameters:\n  ros_io/call_timeout: {type: nanoseconds, value: 0ms}\n",
       "parameters/ros_io/call_timeout/value: expected a duration like '1ms', greater than zero, got '0ms'"},
      // duplicates
      {head + "threads:\n  a: {period: 1ms}\n  a: {period: 2ms}\n", "threads/a: duplicate key"},
      {head + "threads:\n  a: {period: 1ms, tasks: {t: {plugin: p}}}\n  b: {period: 1ms, tasks: {t: {plugin: q}}}\n",
       "threads/b/tasks/t: task 't' is configured twice"},
      {head + "threads:\n  a: {period: 1ms, tasks: {t: {plugin: p}, t: {plugin: q}}}\n", "threads/a/tasks/t: duplicate key"},
      {head + "devices:\n  imu: [{name: i, id: 1}, {name: i, id: 2}]\n",
       "devices/imu[1]/name: device name 'i' is used twice"},
      {head + joint + "devices:\n  imu: [{name: i, id: 6}]\n", "devices/imu[0]/id: device id 6 is used twice (also 'wrist_yaw')"},
      {head + joint + "devices:\n  joint_dummy: [{name: x, id: 1}]\n",
       "devices/joint_dummy: device type 'joint_dummy' is listed twice"},
      {head + joint + "threads:\n  a: {period: 1ms, devices: [joint_dummy]}\n  b: {period: 1ms, devices: [joint_dummy]}\n",
       "threads/b/devices[0]: device type 'joint_dummy' is already driven by thread 'a'"},
      // references to what is not there
      {head + "joints:\n  joint_dummy: [{name: world_fixed, id: 1}]\n",
       "joints/joint_dummy[0]/name: 'world_fixed' is not a movable joint of the URDF"},
      {head + thread + "    devices: [imu]\n", "threads/rt_main/devices[0]: unknown device type 'imu'"},
      {head + thread + "    tasks: {t: {params: {}}}\n", "threads/rt_main/tasks/t/plugin: missing"},
      {head + thread + "    tasks: {t: {plugin: ''}}\n", "threads/rt_main/tasks/t/plugin: '' is not a valid name"},
  };
  for (const Case& c : cases) {
    std::string error = "no error";
    try {
      Orvo::ConfigParser parser(YAML::Load(c.yaml), example_model());
    } catch (const std::runtime_error& e) {
      error = e.what();
    }
    EXPECT_EQ(error.rfind(kExample + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(c.expected), std::string::npos) << c.yaml << "gave: " << error;
  }
}

TEST(ConfigParser, FileNameIsLeftOutWhenUnknown) {
  const Orvo::OrvoInterface no_model;
  try {
    Orvo::ConfigParser parser(YAML::Load("threads: {a: {period: 1}}"), no_model);
    FAIL() << "accepted a bad period";
  } catch (const std::runtime_error& e) {
    EXPECT_EQ(std::string(e.what()), "threads/a/period: expected a duration like '1ms', got '1'");
  }
}

}  // namespace
