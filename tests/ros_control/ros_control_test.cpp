// The command-input plug-in on a real-time robot interface of five dummy
// joints (the model's sixth joint, wrist_yaw, has no device): what each
// command writes is read back from the aggregated command the robot sends
// to the joint master. ROS runs against a private master.

#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <ros/ros.h>

#include "alloc_counter.h"
#include "framework/typed/parameter.h"
#include "framework/typed/topic.h"
#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"
#include "orvo2/devices/device_rt.h"
#include "orvo2/devices/joint_master_messages.h"
#include "orvo2/loading/plugin_loader.h"
#include "orvo2/parameters/parameter_manager.h"
#include "orvo2/robot/robot_interface_orvo2rt.h"
#include "orvo2/topics/topic_manager.h"
#include "orvo_interface/config_options.h"
#include "ros_control.h"
#include "ros_test_environment.h"
#include "temp_dir.h"
#include "wait_until.h"
#include "dummy_arm.h"

namespace {

using Orvo::Hal::joint_tx;

auto* const ros_env =
    ::testing::AddGlobalTestEnvironment(new OrvoTest::RosTestEnvironment("ros_control_test"));

const std::vector<std::string> kDeviceJoints = {"shoulder_yaw", "shoulder_pitch", "elbow_pitch", "wrist_roll",
                                                "wrist_pitch"};

// Counts the moves; sends like the real one.
class CountingRobot : public Orvo::RobotInterfaceOrvo2Rt {
public:
  bool move() override {
    ++moves;
    return RobotInterfaceOrvo2Rt::move();
  }
  int moves = 0;
};

orvo_msgs::JointCommand::Ptr command(std::vector<std::string> names, std::vector<uint8_t> modes) {
  auto msg = boost::make_shared<orvo_msgs::JointCommand>();
  msg->name = std::move(names);
  msg->ctrl_mode = std::move(modes);
  return msg;
}

class RosControlTest : public ::testing::Test {
protected:
  void SetUp() override {
    Orvo::Hal::HardwareDescription hw;
    for (size_t i = 0; i < kDeviceJoints.size(); ++i) {
      hw.addDeviceInfo({kDeviceJoints[i], "joint_dummy", static_cast<int>(i) + 1});
    }
    hw.addDeviceInfo({"all_joints", "joint_master", 100});
    Orvo::Context().paramManager().setParam(Orvo::RobotInterfaceOrvo2Rt::HardwareDescriptionParam, hw);
    const std::string config =
        OrvoTest::dummy_arm_config(ORVO2_EXAMPLES_DIR "/dummy_robot/", kDeviceJoints).write(_dir);
    _robot = std::make_shared<CountingRobot>();
    ASSERT_TRUE(_robot->init(Orvo::ConfigOptions::FromConfigFile(config)));

    _tx_sub = Orvo::Context().topicManager().subscribe<Orvo::Hal::JointMasterTx>(
        Orvo::Hal::DeviceRt::TxTopicName("joint_master", "all_joints"),
        [this](const Orvo::Hal::JointMasterTx& msg) { _sent.push_back(msg); }, nullptr, 20, "test");
    ASSERT_TRUE(_tx_sub);
    _plugin = std::make_unique<Orvo::RosControl>(args(_robot));
  }

  void TearDown() override { _tx_sub.reset(); }

  static Orvo::ControlPlugin::Args args(std::shared_ptr<Orvo::RobotInterface> robot) {
    Orvo::ControlPlugin::Args a;
    a.task_name = "ros_control";
    a.plugin_name = "ros_control";
    a.thread_name = "ctrl_thread";
    a.robot = std::move(robot);
    return a;
  }

  // Commands the initialised plug-in to start and drives it until it runs.
  void start() {
    ASSERT_TRUE(_plugin->command(Orvo::Runnable::Start));
    for (int step = 0; step < 3 && _plugin->getState() != Orvo::Runnable::Running; ++step) {
      _plugin->execute_lifecycle();
    }
  }

  // The aggregated commands sent since the last call.
  std::vector<Orvo::Hal::JointMasterTx> sent() {
    _sent.clear();
    _tx_sub->run();
    return _sent;
  }

  // The entry of joint `id` in `msg`.
  static joint_tx entry(const Orvo::Hal::JointMasterTx& msg, int id) {
    for (size_t i = 0; i < msg.info.size(); ++i) {
      if (msg.info[i].id == id) {
        return msg.tx[i];
      }
    }
    ADD_FAILURE() << "joint " << id << " is not in the aggregated command";
    return joint_tx();
  }

  OrvoTest::TempDir _dir{"ros_control"};
  std::shared_ptr<CountingRobot> _robot;
  std::shared_ptr<Orvo::Subscriber<Orvo::Hal::JointMasterTx>> _tx_sub;
  std::vector<Orvo::Hal::JointMasterTx> _sent;
  std::unique_ptr<Orvo::RosControl> _plugin;
};

TEST_F(RosControlTest, ControlModeBitsSelectTheReferences) {
  ASSERT_TRUE(_plugin->on_initialize());
  auto msg = command({"shoulder_yaw", "shoulder_pitch", "elbow_pitch", "wrist_roll", "wrist_pitch"},
                     {31, 31, 3, 0x20, 0xFF});
  msg->position = {0.1f, 0.2f, 0.3f, 0.4f, 0.5f};
  msg->velocity = {1.1f, 1.2f, 1.3f, 1.4f, 1.5f};
  msg->effort = {2.1f, 2.2f, 2.3f, 2.4f, 2.5f};
  msg->stiffness = {300.0f};  // none for the later joints: skipped without a word
  msg->damping = {4.1, 4.2, 4.3, 4.4, 4.5};

  Orvo::JournalCapture journal;
  _plugin->on_cmd_recv(msg);
  EXPECT_TRUE(journal.entries().empty());
  EXPECT_EQ(_robot->moves, 1);
  const auto commands = sent();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].sender, _robot->getOwner());

  const joint_tx all = entry(commands[0], 1);
  EXPECT_EQ(all.mask, joint_tx::POS_REF | joint_tx::VEL_REF | joint_tx::TOR_REF | joint_tx::STIFFNESS |
                          joint_tx::DAMPING);
  EXPECT_FLOAT_EQ(all.pos_ref, 0.1f);
  EXPECT_FLOAT_EQ(all.vel_ref, 1.1f);
  EXPECT_FLOAT_EQ(all.tor_ref, 2.1f);
  EXPECT_FLOAT_EQ(all.stiffness, 300.0f);
  EXPECT_FLOAT_EQ(all.damping, 4.1f);

  const joint_tx no_stiffness = entry(commands[0], 2);
  EXPECT_EQ(no_stiffness.mask, joint_tx::POS_REF | joint_tx::VEL_REF | joint_tx::TOR_REF | joint_tx::DAMPING);
  EXPECT_FLOAT_EQ(no_stiffness.damping, 4.2f);

  const joint_tx pos_vel = entry(commands[0], 3);
  EXPECT_EQ(pos_vel.mask, joint_tx::POS_REF | joint_tx::VEL_REF);
  EXPECT_FLOAT_EQ(pos_vel.pos_ref, 0.3f);
  EXPECT_FLOAT_EQ(pos_vel.vel_ref, 1.3f);

  EXPECT_EQ(entry(commands[0], 4).mask, 0);  // 0x20: no bit of the five
  // 0xFF acts as 31.
  EXPECT_EQ(entry(commands[0], 5).mask, joint_tx::POS_REF | joint_tx::VEL_REF | joint_tx::TOR_REF | joint_tx::DAMPING);
  EXPECT_FLOAT_EQ(entry(commands[0], 5).tor_ref, 2.5f);
}

TEST_F(RosControlTest, FaultyEntriesAreReportedAndTheRestApplied) {
  ASSERT_TRUE(_plugin->on_initialize());
  Orvo::JournalCapture journal;
  // An unknown name, a model joint without a device, a good joint, and a
  // joint past the end of ctrl_mode.
  auto msg = command({"ghost", "wrist_yaw", "shoulder_yaw", "elbow_pitch"}, {1, 1, 1});
  msg->position = {9.0f, 9.0f, 0.7f, 9.0f};
  _plugin->on_cmd_recv(msg);

  // One line per message, whatever the number of faulty entries.
  EXPECT_EQ(journal.count("while parsing command message: 3 of 4 joint entries refused, the first: joint 'ghost' undefined \n"),
            1);
  const auto entries = journal.entries();
  ASSERT_EQ(entries.size(), 1u);
  for (const Orvo::JournalEntry& e : entries) {
    EXPECT_EQ(e.type, Orvo::Journal::Warning);
    EXPECT_EQ(e.journal, "ros_control");
  }
  EXPECT_EQ(_robot->moves, 1);
  auto commands = sent();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(entry(commands[0], 1).mask, joint_tx::POS_REF);
  EXPECT_FLOAT_EQ(entry(commands[0], 1).pos_ref, 0.7f);
  EXPECT_EQ(entry(commands[0], 3).mask, 0);

  // No joint at all still moves the robot once (which then has nothing to send).
  _plugin->on_cmd_recv(command({}, {}));
  EXPECT_EQ(_robot->moves, 2);
  EXPECT_TRUE(sent().empty());

  // A joint named twice: the later entry wins.
  msg = command({"wrist_roll", "wrist_roll"}, {1, 1});
  msg->position = {0.25f, -0.25f};
  _plugin->on_cmd_recv(msg);
  commands = sent();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_FLOAT_EQ(entry(commands[0], 4).pos_ref, -0.25f);

  // A single faulty entry is told as it is.
  _plugin->on_cmd_recv(command({"ghost"}, {1}));
  EXPECT_EQ(journal.count("while parsing command message: joint 'ghost' undefined \n"), 1);
}

// Through ROS as a client sends them (in-process publisher on
// /orvocore/command) and the plug-in's lifecycle as its thread drives it.
TEST_F(RosControlTest, OnlyCommandsAfterTheStartAreApplied) {
  ros::NodeHandle client;
  ros::Publisher pub = client.advertise<orvo_msgs::JointCommand>("/orvocore/command", 10);
  _plugin->execute_lifecycle();
  ASSERT_EQ(_plugin->getState(), Orvo::Runnable::Initialized);
  ASSERT_TRUE(OrvoTest::wait_until([&] { return pub.getNumSubscribers() == 1; }, std::chrono::seconds(5)));

  auto early = command({"shoulder_yaw"}, {1});
  early->position = {1.0f};
  pub.publish(early);
  start();
  ASSERT_EQ(_plugin->getState(), Orvo::Runnable::Running);
  EXPECT_EQ(_robot->moves, 0);
  EXPECT_TRUE(sent().empty());

  // Two commands within one cycle: both, in order, each with its move.
  auto first = command({"shoulder_yaw"}, {1});
  first->position = {2.0f};
  auto second = command({"shoulder_yaw"}, {1});
  second->position = {3.0f};
  pub.publish(first);
  pub.publish(second);
  _plugin->execute_lifecycle();
  EXPECT_EQ(_robot->moves, 2);
  const auto commands = sent();
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_FLOAT_EQ(entry(commands[0], 1).pos_ref, 2.0f);
  EXPECT_FLOAT_EQ(entry(commands[1], 1).pos_ref, 3.0f);
}

// A command a run applied stays with the queue: the thread that receives the
// next one lets go of it, never the plug-in's.
TEST_F(RosControlTest, TheRunLetsGoOfNoCommand) {
  ros::NodeHandle client;
  ros::Publisher pub = client.advertise<orvo_msgs::JointCommand>("/orvocore/command", 10);
  _plugin->execute_lifecycle();
  ASSERT_TRUE(OrvoTest::wait_until([&] { return pub.getNumSubscribers() == 1; }, std::chrono::seconds(5)));
  start();
  ASSERT_EQ(_plugin->getState(), Orvo::Runnable::Running);

  auto first = command({"shoulder_yaw"}, {1});
  first->position = {1.0f};
  const boost::weak_ptr<const orvo_msgs::JointCommand> applied = first;
  pub.publish(first);
  first.reset();
  _plugin->execute_lifecycle();
  EXPECT_EQ(_robot->moves, 1);
  EXPECT_FALSE(applied.expired());
  pub.publish(command({"shoulder_yaw"}, {0}));
  EXPECT_TRUE(applied.expired());
}

// A flood of the largest commands: a run applies its budget of entries in
// whole messages and leaves the rest, in order, for the next runs, so the
// newest command is still applied last.
TEST_F(RosControlTest, EachRunAppliesABoundedShareOfAFlood) {
  ros::NodeHandle client;
  ros::Publisher pub = client.advertise<orvo_msgs::JointCommand>("/orvocore/command", 50);
  _plugin->execute_lifecycle();
  ASSERT_TRUE(OrvoTest::wait_until([&] { return pub.getNumSubscribers() == 1; }, std::chrono::seconds(5)));
  start();
  ASSERT_EQ(_plugin->getState(), Orvo::Runnable::Running);

  auto largest = command(std::vector<std::string>(1024, "elbow_pitch"), std::vector<uint8_t>(1024, 1));
  largest->position.assign(1024, 0.1f);
  for (int i = 0; i < 10; ++i) {
    pub.publish(largest);
  }
  auto newest = command({"elbow_pitch"}, {1});
  newest->position = {0.4f};
  pub.publish(newest);

  _plugin->execute_lifecycle();
  EXPECT_EQ(_robot->moves, 1);
  for (int cycle = 0; cycle < 20 && _robot->moves < 11; ++cycle) {
    _plugin->execute_lifecycle();
  }
  EXPECT_EQ(_robot->moves, 11);
  const auto commands = sent();
  ASSERT_EQ(commands.size(), 11u);
  EXPECT_FLOAT_EQ(entry(commands.back(), 3).pos_ref, 0.4f);
}

// The plug-in's own part of a cycle: an idle cycle, and applying a decoded
// command with its move (roscpp's decoding of a received one allocates).
TEST_F(RosControlTest, IdleCyclesAndApplyingACommandAllocateNothing) {
  ASSERT_TRUE(_plugin->on_initialize());
  auto msg = command({"shoulder_yaw", "elbow_pitch", "ghost"}, {3, 31, 1});
  msg->position = {0.1f, 0.2f, 0.3f};
  msg->velocity = {0.0f, 0.0f, 0.0f};
  // Warm-up: roscpp's per-thread state of the queue is made on the first
  // drain; every message of the robot's tx pool is filled once (the pool grew
  // when the test subscribed after the robot was made).
  _plugin->run();
  for (int i = 0; i < 50; ++i) {
    _plugin->on_cmd_recv(msg);
    sent();
  }

  size_t idle = 0, applying = 0;
  for (int i = 0; i < 100; ++i) {
    {
      Orvo::test::AllocCounter counter;
      _plugin->run();
      idle += counter.count();
      counter.reset();
      _plugin->on_cmd_recv(msg);
      applying += counter.count();
    }
    sent();  // the test's copy allocates; the loan goes back to the pool
  }
  EXPECT_EQ(idle, 0u);
  EXPECT_EQ(applying, 0u);
}

TEST_F(RosControlTest, RobotWithoutJointsFailsInitialisation) {
  Orvo::JournalCapture journal;
  Orvo::RosControl plugin(args(nullptr));
  EXPECT_FALSE(plugin.on_initialize());
  ASSERT_EQ(journal.count("no joints have been found \n"), 1);
  EXPECT_EQ(journal.entries().back().type, Orvo::Journal::Error);
}

TEST_F(RosControlTest, LoadsByNameAndPutsTheRobotInIdle) {
  ASSERT_TRUE(_robot->setControlMode(Orvo::ControlMode::Position()));
  std::unique_ptr<Orvo::ControlPlugin> plugin = Orvo::load_control_plugin(args(_robot));
  ASSERT_TRUE(plugin);
  EXPECT_TRUE(plugin->on_initialize());
  for (const Orvo::ControlMode& mode : _robot->getControlModes()) {
    EXPECT_EQ(mode, Orvo::ControlMode::Idle());
  }
}

}  // namespace
