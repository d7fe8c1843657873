// The bridge loaded by name in this process, against a real rosmaster: the
// process-wide ROS initialisation and queue parameters, the joint state
// republished from the joint master's topic, and what the bridge leaves
// behind when it is destroyed.

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <ros/callback_queue.h>
#include <ros/ros.h>

#include <orvo_msgs/JointState.h>

#include "framework/typed/parameter.h"
#include "framework/typed/topic.h"
#include "orvo2/context/journal.h"
#include "orvo2/devices/device_rt.h"
#include "orvo2/devices/joint_master_messages.h"
#include "orvo2/loading/plugin_loader.h"
#include "orvo2/tasks/callback_queue.h"
#include "ros_master.h"
#include "run_tool.h"
#include "wait_until.h"

namespace {

using namespace std::chrono_literals;

std::shared_ptr<Orvo::CallbackQueue> published_queue() {
  return Orvo::Context().paramManager().getParamOr<std::shared_ptr<Orvo::CallbackQueue>>(
      "/ros_support/topic_callback_queue_orvo2", nullptr);
}

std::unique_ptr<Orvo::ControlPlugin> start_bridge(const std::string& task) {
  auto bridge = Orvo::load_control_plugin(Orvo::ControlPlugin::Args{task, "ros_io", "test_thread", {}, nullptr});
  for (int step = 0; step < 5 && bridge->getState() != Orvo::Runnable::Running; ++step) {
    bridge->execute_lifecycle();
  }
  return bridge;
}

TEST(RosIoPlugin, RepublishesJointStatesAndLeavesNothingBehind) {
  const OrvoTest::RosMaster master("ros_io_plugin");
  Orvo::JournalCapture journal;

  auto bridge = start_bridge("bridge");
  ASSERT_EQ(bridge->getState(), Orvo::Runnable::Running);
  EXPECT_EQ(journal.count("initialized with task list [] \n"), 1);
  EXPECT_FALSE(journal.contains("waiting for ros master"));
  EXPECT_TRUE(ros::isInitialized());
  EXPECT_EQ(ros::this_node::getName(), "/orvocore");
  const auto queue = published_queue();
  ASSERT_NE(queue, nullptr);
  EXPECT_EQ(queue->size(), 3u);  // lifecycle events, joint master status, joint states

  // A second bridge neither initialises ROS again nor replaces the queues.
  auto second = Orvo::load_control_plugin(Orvo::ControlPlugin::Args{"second", "ros_io", "test_thread", {}, nullptr});
  EXPECT_EQ(published_queue(), queue);
  second.reset();

  // A relayed topic that exists with another type fails the initialisation.
  {
    auto& params = Orvo::Context().paramManager();
    params.setParam<std::vector<std::string>>("/orvo2_thread_list", {"clash_thread"});
    auto clash = Orvo::Context().topicManager().advertise<int>("/clash_thread/execution_time", 0, "test");
    auto failed = start_bridge("failed");
    params.setParam<std::vector<std::string>>("/orvo2_thread_list", {});
    EXPECT_EQ(failed->getState(), Orvo::Runnable::InitFailed);
    EXPECT_EQ(journal.count("cannot relay topic '/clash_thread/execution_time': no subscription (does it exist "
                            "with another type?) \n"),
              1);
  }
  EXPECT_EQ(queue->size(), 3u);

  ros::NodeHandle node;
  ros::CallbackQueue received_queue;
  node.setCallbackQueue(&received_queue);
  std::vector<orvo_msgs::JointState> received;
  ros::Subscriber subscriber = node.subscribe<orvo_msgs::JointState>(
      "/orvocore/joint_states", 10,
      [&received](const orvo_msgs::JointState::ConstPtr& msg) { received.push_back(*msg); });
  auto rx_pub = Orvo::Context().topicManager().advertise<Orvo::Hal::JointMasterRx>(
      Orvo::Hal::DeviceRt::RxTopicName("joint_master", "all_joints"), Orvo::Hal::JointMasterRx(), "test");
  const auto publish = [&rx_pub](int joints, int records, int64_t stamp) {
    auto loan = rx_pub->loanMessage();
    ASSERT_TRUE(loan);
    Orvo::Hal::JointMasterRx& msg = loan->value();
    msg.info.assign(joints, Orvo::Hal::DeviceInfo{"j", "joint_dummy", 1});
    msg.rx.assign(records, Orvo::Hal::joint_rx{});
    msg.stamp = stamp;
    rx_pub->publishLoaned(std::move(loan));
  };
  // Both ends connected: a well-formed state arrives.
  ASSERT_TRUE(OrvoTest::wait_until(
      [&] {
        publish(2, 2, 7000000001);
        bridge->execute_lifecycle();
        received_queue.callAvailable(ros::WallDuration(0.01));
        return !received.empty();
      },
      10s, OrvoTest::kProcessPoll));
  EXPECT_EQ(received.back().name.size(), 2u);
  EXPECT_EQ(received.back().header.stamp, ros::Time(7, 1));

  // A state with fewer records than joints is skipped; the next one goes out.
  received.clear();
  publish(3, 1, 8000000000);
  bridge->execute_lifecycle();
  publish(1, 1, 9000000000);
  bridge->execute_lifecycle();
  ASSERT_TRUE(OrvoTest::wait_until(
      [&] {
        received_queue.callAvailable(ros::WallDuration(0.01));
        return !received.empty();
      },
      5s, OrvoTest::kProcessPoll));
  EXPECT_EQ(received.front().header.stamp, ros::Time(9, 0));

  // Another node of this name makes the master shut this one down: said once, with who asked and why.
  const std::string warning =
      "ROS has shut the node '/orvocore' down at the XML-RPC request 'shutdown' of '/master' (reason: "
      "'[/orvocore] Reason: new node registered with same name'; the ROS master sends it when another node "
      "registers under this name, and any ROS peer can): no ROS topics or services from now on \n";
  OrvoTest::run_tool("/usr/bin/python3 -c \"import rospy; rospy.init_node('orvocore', disable_signals=True)\"");
  EXPECT_TRUE(OrvoTest::wait_until(
      [&] {
        bridge->execute_lifecycle();
        return journal.count(warning) > 0;
      },
      10s, OrvoTest::kProcessPoll));
  for (int cycle = 0; cycle < 5; ++cycle) {
    bridge->execute_lifecycle();
  }
  EXPECT_EQ(journal.count(warning), 1);
  EXPECT_EQ(bridge->getState(), Orvo::Runnable::Running);

  bridge.reset();
  EXPECT_EQ(queue->size(), 0u);
  EXPECT_EQ(published_queue(), queue);
}

// A bridge whose wiring fails after it advertised leaves no ROS service that
// its cycle, which never runs, would have to answer.
TEST(RosIoPlugin, FailedWiringWithdrawsWhatItAdvertised) {
  const OrvoTest::RosMaster master("ros_io_withdraw");
  Orvo::JournalCapture journal;
  // The last relay, made after every service, exists with another type.
  auto clash = Orvo::Context().topicManager().advertise<int>("/joint_master/info", 0, "test");
  auto failed = start_bridge("failed");
  EXPECT_EQ(failed->getState(), Orvo::Runnable::InitFailed);
  EXPECT_EQ(journal.count("task 'failed' failed to initialise: its ROS topics and services are withdrawn \n"), 1);

  const std::string services = OrvoTest::run_tool("/usr/bin/rosservice list");
  EXPECT_NE(services.find("/orvocore/get_loggers"), std::string::npos) << services;
  for (const char* service : {"/orvocore/enable_joint_filter", "/orvocore/get_plugin_list",
                              "/orvocore/joint_master/set_control_mask"}) {
    EXPECT_EQ(services.find(service), std::string::npos) << services;
  }
  const std::string topics = OrvoTest::run_tool("/usr/bin/rostopic list");
  EXPECT_EQ(topics.find("/orvocore/joint_states"), std::string::npos) << topics;
}

}  // namespace
