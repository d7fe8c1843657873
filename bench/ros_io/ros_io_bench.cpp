// The ROS bridge, measured in one run:
//  - a joint state of 30 joints from the joint master's topic through the
//    bridge's cycle to a ROS subscriber in another process and back (the
//    subscriber answers with the stamp), against the same orvo_msgs/JointState
//    published directly with roscpp to the same subscriber;
//  - the bridge's cycle with 30 joints and four sensors (force-torque, IMU,
//    two link states): with only the joint states subscribed (the others are
//    not serialized then), and with a third process subscribed to every topic.
// The bridge is liborvoctrl_ros_io.so loaded by name with a real-time robot
// interface over the client devices; a rosmaster runs on a free loopback port.

#include <yaml-cpp/yaml.h>

#include <chrono>
#include <memory>
#include <sstream>

#include <benchmark/benchmark.h>
#include <ros/callback_queue.h>
#include <ros/master.h>
#include <ros/ros.h>
#include <std_msgs/Time.h>

#include <orvo_msgs/JointState.h>

#include "chain_urdf.h"
#include "framework/typed/parameter.h"
#include "framework/typed/topic.h"
#include "orvo2/configuration/config_parser.h"
#include "orvo2/devices/device_rt.h"
#include "orvo2/devices/joint_master_messages.h"
#include "orvo2/loading/plugin_loader.h"
#include "orvo2/robot/robot_interface_orvo2rt.h"
#include "orvo2/tasks/task_manager.h"
#include "orvo_interface/config_options.h"
#include "ros_graph.h"
#include "run_benchmarks.h"
#include "wait_until.h"

namespace {

constexpr int kJoints = 30;

OrvoTest::RobotConfig config() {
  OrvoTest::RobotConfig robot = OrvoTest::chain_config("bench_arm", kJoints);
  robot.device("joint_master", "all_joints", 100)
      .device("ft_gz", "ft_1", 200)
      .device("imu_gz", "imu_1", 300)
      .device("link_state_sensor", "link_10_lss", 400)
      .device("link_state_sensor", "link_20_lss", 401);
  return robot;
}

Orvo::Hal::JointMasterRx joint_master_state() {
  std::vector<Orvo::Hal::DeviceInfo> joints;
  for (int i = 1; i <= kJoints; ++i) {
    joints.push_back(Orvo::Hal::DeviceInfo{"joint_" + std::to_string(i), "joint_dummy", i});
  }
  Orvo::Hal::JointMasterRx state(joints);
  for (int i = 0; i < kJoints; ++i) {
    const float v = 0.01f * static_cast<float>(i);
    state.rx[i] = Orvo::Hal::joint_rx{v, v, v, v, v, 40.5f, v, v, v, 100.0f, 5.0f};
  }
  return state;
}

// Everything the benchmarks share, set up once.
struct World {
  std::unique_ptr<OrvoBench::RosGraph> graph;
  OrvoTest::ChildProcess* echo = nullptr;
  OrvoTest::ChildProcess* sink = nullptr;
  std::shared_ptr<Orvo::RobotInterface> robot;
  std::unique_ptr<Orvo::ControlPlugin> bridge;
  std::shared_ptr<Orvo::Publisher<Orvo::Hal::JointMasterRx>> rx_pub;
  Orvo::Hal::JointMasterRx rx_prototype = joint_master_state();
  orvo_msgs::JointState direct_msg;
  ros::CallbackQueue ack_queue;
  std::unique_ptr<ros::NodeHandle> node;
  ros::Publisher direct_pub;
  ros::Subscriber ack_sub;
  ros::Time last_ack;
  uint32_t next_second = 1;

  void set_up() {
    graph = std::make_unique<OrvoBench::RosGraph>("ros_io_bench");
    echo = &graph->start("echo", {ROS_IO_BENCH_ECHO});

    const std::string path = config().write(graph->dir());
    auto options = Orvo::ConfigOptions::FromConfigFile(path);
    options.set_parameter("framework", std::string("Orvo2Rt"));
    Orvo::OrvoInterface model;
    model.init(options);
    const Orvo::ConfigParser parser(YAML::LoadFile(path), model);
    Orvo::ParameterManager& params = Orvo::Context().paramManager();
    params.setParam(Orvo::RobotInterfaceOrvo2Rt::HardwareDescriptionParam, parser.getHw());
    params.setParam("/orvo2_thread_list", std::vector<std::string>{"bench_thread"});
    Orvo::Context().taskManager().addTask("ros_io", "bench_thread");
    robot = Orvo::RobotInterface::MakeInstance(options);

    rx_pub = Orvo::Context().topicManager().advertise<Orvo::Hal::JointMasterRx>(
        Orvo::Hal::DeviceRt::RxTopicName("joint_master", "all_joints"), rx_prototype, "bench");
    bridge = Orvo::load_control_plugin(
        Orvo::ControlPlugin::Args{"ros_io", "ros_io", "bench_thread", {}, robot});
    for (int step = 0; step < 10 && bridge->getState() != Orvo::Runnable::Running; ++step) {
      bridge->execute_lifecycle();
    }
    if (bridge->getState() != Orvo::Runnable::Running) {
      throw std::runtime_error("the bridge did not start");
    }

    node = std::make_unique<ros::NodeHandle>();
    node->setCallbackQueue(&ack_queue);
    direct_pub = node->advertise<orvo_msgs::JointState>("/ros_io_bench/direct_joint_states", 100);
    ack_sub = node->subscribe<std_msgs::Time>(
        "/ros_io_bench/ack", 100, [this](const std_msgs::Time::ConstPtr& ack) { last_ack = ack->data; },
        ros::VoidConstPtr(), ros::TransportHints().tcpNoDelay());
    direct_msg.name.resize(kJoints);
    for (int i = 0; i < kJoints; ++i) {
      direct_msg.name[i] = rx_prototype.info[i].name;
    }
    for (auto* values : {&direct_msg.link_position, &direct_msg.motor_position, &direct_msg.link_velocity,
                         &direct_msg.motor_velocity, &direct_msg.effort, &direct_msg.position_reference,
                         &direct_msg.velocity_reference, &direct_msg.effort_reference,
                         &direct_msg.stiffness, &direct_msg.damping, &direct_msg.aux}) {
      values->assign(kJoints, 0.5f);
    }
    direct_msg.temperature_motor.assign(kJoints, 40);
    direct_msg.temperature_driver.assign(kJoints, 40);
    direct_msg.fault.assign(kJoints, 0);

    // Both paths answer before anything is measured (connections made).
    for (int tries = 0; tries < 200 && !(bridge_round_trip() && direct_round_trip()); ++tries) {
    }
    if (!(bridge_round_trip() && direct_round_trip())) {
      throw std::runtime_error("the echo process does not answer: " + echo->output());
    }
  }

  // Waits, bounded, for the answer to the message stamped `stamp`.
  bool await(const ros::Time& stamp) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(100);
    while (last_ack != stamp) {
      if (std::chrono::steady_clock::now() > deadline) {
        return false;
      }
      ack_queue.callAvailable(ros::WallDuration(0.0001));
    }
    return true;
  }

  // The joint master's state through the bridge's cycle to the echo and back.
  bool bridge_round_trip() {
    const uint32_t second = next_second++;
    auto loan = rx_pub->loanMessage();
    if (!loan) {
      return false;
    }
    loan->value() = rx_prototype;
    loan->value().stamp = static_cast<int64_t>(second) * 1000000000;
    rx_pub->publishLoaned(std::move(loan));
    bridge->execute_lifecycle();
    return await(ros::Time(second, 0));
  }

  // The same joint state published directly with roscpp, to the echo and back.
  bool direct_round_trip() {
    const uint32_t second = next_second++;
    direct_msg.header.stamp = ros::Time(second, 0);
    direct_pub.publish(direct_msg);
    return await(direct_msg.header.stamp);
  }

  // Starts the process that subscribes to the statistics and sensor topics;
  // true once its last subscription is registered and connected.
  bool start_sink() {
    if (sink) {
      return true;
    }
    sink = &graph->start("sink", {ROS_IO_BENCH_ECHO, "sink"});
    const bool registered = OrvoTest::wait_until(
        [] {
          XmlRpc::XmlRpcValue request;
          XmlRpc::XmlRpcValue response;
          XmlRpc::XmlRpcValue payload;
          request[0] = ros::this_node::getName();
          if (!ros::master::execute("getSystemState", request, response, payload, false)) {
            return false;
          }
          std::ostringstream subscribers;
          subscribers << payload[1];
          return subscribers.str().find("/ros_io_bench_sink") != std::string::npos &&
                 subscribers.str().find("link_20/twist") != std::string::npos;
        },
        std::chrono::seconds(20), OrvoTest::kProcessPoll);
    // Connections are made by the network threads while the bridge cycles.
    for (int cycle = 0; cycle < 50; ++cycle) {
      bridge->execute_lifecycle();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return registered;
  }

  void tear_down() {
    bridge.reset();
    sink = nullptr;
    echo = nullptr;
    graph.reset();
  }
};

World* world = nullptr;

void BM_JointStateRoundTrip_Bridge(benchmark::State& state) {
  for (auto _ : state) {
    if (!world->bridge_round_trip()) {
      state.SkipWithError("no answer within 100 ms");
      break;
    }
  }
}
BENCHMARK(BM_JointStateRoundTrip_Bridge)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_JointStateRoundTrip_DirectRoscpp(benchmark::State& state) {
  for (auto _ : state) {
    if (!world->direct_round_trip()) {
      state.SkipWithError("no answer within 100 ms");
      break;
    }
  }
}
BENCHMARK(BM_JointStateRoundTrip_DirectRoscpp)->Unit(benchmark::kMicrosecond)->UseRealTime();

// One bridge cycle with a new joint state pending: republish it, the
// statistics and the four sensors. Argument 0: only the joint states have a
// subscriber; 1: every topic has one.
void BM_BridgeCycle_30Joints4Sensors(benchmark::State& state) {
  if (state.range(0) == 1 && !world->start_sink()) {
    state.SkipWithError("the sink process did not subscribe");
    return;
  }
  uint32_t second = 1000000;
  for (auto _ : state) {
    auto loan = world->rx_pub->loanMessage();
    loan->value() = world->rx_prototype;
    loan->value().stamp = static_cast<int64_t>(++second) * 1000000000;
    world->rx_pub->publishLoaned(std::move(loan));
    world->bridge->execute_lifecycle();
    // Answers of the echo are drained outside the measured cycle.
    state.PauseTiming();
    world->ack_queue.callAvailable(ros::WallDuration(0));
    state.ResumeTiming();
  }
}
BENCHMARK(BM_BridgeCycle_30Joints4Sensors)->ArgName("all_subscribed")->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  World shared;
  return OrvoBench::run_benchmarks(
      argc, argv, "ros_io_bench",
      [&shared](int, char**) {
        shared.set_up();
        world = &shared;
      },
      [&shared] {
        world = nullptr;
        shared.tear_down();
      });
}
