// Orvo::RosSupport with the real bridge: ros_io loaded by name in this process
// (it initialises ROS against a private master and publishes its queues),
// its cycle run in a thread of its own as a worker thread would.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <ros/ros.h>
#include <std_msgs/Int32.h>

#include "framework/typed/parameter.h"
#include "framework/typed/topic.h"
#include "orvo2/context/context.h"
#include "orvo2/loading/plugin_loader.h"
#include "orvo2/topics/topic_manager.h"
#include "ros_master.h"
#include "ros_support/ros_support.h"
#include "wait_until.h"

namespace {

using namespace std::chrono_literals;
using OrvoTest::wait_until;

TEST(RosSupportWithBridge, CallbacksRunInTheBridgesCycle) {
  const OrvoTest::RosMaster master("ros_support_bridge");
  auto bridge = Orvo::load_control_plugin(Orvo::ControlPlugin::Args{"ros_io", "ros_io", "ros_thread", {}, nullptr});
  for (int step = 0; step < 5 && bridge->getState() != Orvo::Runnable::Running; ++step) {
    bridge->execute_lifecycle();
  }
  ASSERT_EQ(bridge->getState(), Orvo::Runnable::Running);

  Orvo::RosSupport support{ros::NodeHandle()};
  ASSERT_TRUE(support.valid());
  const auto bridge_queue = Orvo::Context().paramManager().getParamOrThrow<std::shared_ptr<ros::CallbackQueue>>(
      "/ros_support/topic_callback_queue_ros");
  EXPECT_EQ(support.node_handle().getCallbackQueue(), bridge_queue.get());

  const std::string ns = "/ros_support_bridge_" + std::to_string(::getpid());
  std::atomic<int> ros_value{0};
  std::atomic<double> orvo_value{0.0};
  std::atomic<std::thread::id> ros_thread{}, orvo_thread{};
  ASSERT_TRUE(support.subscribe<std_msgs::Int32>(ns + "/value", 1, [&](const std_msgs::Int32::ConstPtr& msg) {
    ros_thread = std::this_thread::get_id();
    ros_value = msg->data;
  }));
  ASSERT_TRUE(support.subscribe_orvo<double>(ns + "/orvo_value", 1, [&](const double& value) {
    orvo_thread = std::this_thread::get_id();
    orvo_value = value;
  }));

  std::atomic<bool> stop{false};
  std::thread cycle([&] {
    while (!stop.load()) {
      bridge->execute_lifecycle();
      std::this_thread::sleep_for(1ms);
    }
  });
  const std::thread::id cycle_id = cycle.get_id();

  ros::NodeHandle client;
  ros::Publisher ros_pub = client.advertise<std_msgs::Int32>(ns + "/value", 1);
  std_msgs::Int32 msg;
  msg.data = 42;
  ros_pub.publish(msg);
  auto orvo_pub = Orvo::Context().topicManager().advertise<double>(ns + "/orvo_value", 0.0, "test");
  ASSERT_TRUE(orvo_pub);
  auto loan = orvo_pub->loanMessage();
  ASSERT_TRUE(loan);
  loan->value() = 1.5;
  orvo_pub->publishLoaned(std::move(loan));

  EXPECT_TRUE(wait_until([&] { return ros_value.load() == 42 && orvo_value.load() == 1.5; }, 5s));
  stop = true;
  cycle.join();
  EXPECT_EQ(ros_thread.load(), cycle_id);
  EXPECT_EQ(orvo_thread.load(), cycle_id);
}

}  // namespace
