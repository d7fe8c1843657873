// Orvo::RosSupport against a private ROS master: which of the bridge's queues
// make it valid, and that what a plug-in registers through it runs in the
// bridge's thread and ends with it.

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>

#include <gtest/gtest.h>
#include <ros/ros.h>
#include <std_msgs/Int32.h>
#include <std_srvs/SetBool.h>

#include "framework/typed/parameter.h"
#include "framework/typed/topic.h"
#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"
#include "orvo2/parameters/parameter_manager.h"
#include "orvo2/topics/topic_manager.h"
#include "ros_support/ros_support.h"
#include "ros_test_environment.h"
#include "wait_until.h"

namespace {

using OrvoTest::wait_until;
using RosQueuePtr = std::shared_ptr<ros::CallbackQueue>;
using OrvoQueuePtr = std::shared_ptr<Orvo::CallbackQueue>;

auto* const ros_env =
    ::testing::AddGlobalTestEnvironment(new OrvoTest::RosTestEnvironment("ros_support_test"));

const char* const kRosQueueParam = "/ros_support/topic_callback_queue_ros";
const char* const kOrvoQueueParam = "/ros_support/topic_callback_queue_orvo2";
const char* const kNoRosQueue = "could not retrieve ROS callback queue, ros support will not be available \n";
const char* const kNoOrvoQueue = "could not retrieve Orvo2 callback queue, ros support will not be available \n";

// Runs in a fresh process (ctest runs every test on its own): the bridge's
// parameters are published step by step, as they can never be removed.
TEST(RosSupport, ValidOnlyWhenBothBridgeQueuesArePublished) {
  Orvo::ParameterManager& params = Orvo::Context().paramManager();
  ASSERT_EQ(params.findParam<RosQueuePtr>(kRosQueueParam), nullptr) << "needs a process of its own";

  {
    Orvo::JournalCapture journal;
    Orvo::RosSupport support{ros::NodeHandle()};
    EXPECT_FALSE(support.valid());
    EXPECT_EQ(journal.count(kNoRosQueue), 1);
    EXPECT_EQ(journal.count(kNoOrvoQueue), 0);  // not looked up
    // Nothing can be registered: nobody would ever run it.
    EXPECT_FALSE(support.subscribe<std_msgs::Int32>("value", 1, [](const std_msgs::Int32::ConstPtr&) {}));
    EXPECT_FALSE(support.subscribe_orvo<double>("/value", 1, [](const double&) {}));
    EXPECT_TRUE(journal.contains("ros support is not available: ROS topic 'value' is not registered"));
  }

  const auto bridge_ros_queue = std::make_shared<ros::CallbackQueue>(true);
  ASSERT_TRUE(params.emplaceParam<RosQueuePtr>(kRosQueueParam, bridge_ros_queue));
  {
    Orvo::JournalCapture journal;
    Orvo::RosSupport support{ros::NodeHandle()};
    EXPECT_FALSE(support.valid());
    EXPECT_EQ(journal.count(kNoRosQueue), 0);
    EXPECT_EQ(journal.count(kNoOrvoQueue), 1);
    EXPECT_NE(support.node_handle().getCallbackQueue(), bridge_ros_queue.get());
  }

  const auto bridge_orvo_queue = std::make_shared<Orvo::CallbackQueue>();
  ASSERT_TRUE(params.emplaceParam<OrvoQueuePtr>(kOrvoQueueParam, bridge_orvo_queue));
  {
    Orvo::JournalCapture journal;
    Orvo::RosSupport support{ros::NodeHandle()};
    EXPECT_TRUE(support.valid());
    EXPECT_TRUE(journal.entries().empty());
    EXPECT_EQ(support.node_handle().getCallbackQueue(), bridge_ros_queue.get());
    EXPECT_EQ(bridge_orvo_queue.use_count(), 3);  // test, parameter, support
  }
  // Only shares were dropped: the queues stay the bridge's.
  EXPECT_EQ(bridge_ros_queue.use_count(), 2);
  EXPECT_EQ(bridge_orvo_queue.use_count(), 2);
}

TEST(RosSupport, RegistrationsRunInTheBridgeThreadAndEndWithTheSupport) {
  Orvo::ParameterManager& params = Orvo::Context().paramManager();
  params.emplaceParam<RosQueuePtr>(kRosQueueParam, std::make_shared<ros::CallbackQueue>(true));
  params.emplaceParam<OrvoQueuePtr>(kOrvoQueueParam, std::make_shared<Orvo::CallbackQueue>());
  const RosQueuePtr ros_queue = params.getParamOrThrow<RosQueuePtr>(kRosQueueParam);
  const OrvoQueuePtr orvo_queue = params.getParamOrThrow<OrvoQueuePtr>(kOrvoQueueParam);
  const size_t orvo_runnables_before = orvo_queue->size();

  // The bridge's part: drain both queues in a thread of its own.
  std::atomic<bool> stop{false};
  std::thread bridge([&] {
    while (!stop.load()) {
      ros_queue->callAvailable(ros::WallDuration(0.002));
      orvo_queue->run();
    }
  });
  const std::thread::id bridge_id = bridge.get_id();

  const std::string ns = "/ros_support_test_" + std::to_string(::getpid());
  std::atomic<int> received{0};
  std::atomic<std::thread::id> topic_thread{}, service_thread{}, orvo_thread{};
  std::atomic<double> orvo_sum{0.0};
  bool owned_destroyed = false;
  struct Probe {
    explicit Probe(bool* flag) : destroyed(flag) {}
    ~Probe() { *destroyed = true; }
    bool* destroyed;
  };

  auto support = std::make_unique<Orvo::RosSupport>(ros::NodeHandle());
  ASSERT_TRUE(support->valid());
  support->emplace_owned<Probe>(&owned_destroyed);
  ASSERT_TRUE(support->subscribe<std_msgs::Int32>(ns + "/value", 10, [&](const std_msgs::Int32::ConstPtr& msg) {
    topic_thread = std::this_thread::get_id();
    received += msg->data;
  }));
  ASSERT_TRUE(support->advertise_service<std_srvs::SetBool>(
      ns + "/check", [&](std_srvs::SetBool::Request& request, std_srvs::SetBool::Response& response) {
        service_thread = std::this_thread::get_id();
        if (!request.data) {
          throw std::runtime_error("refused on purpose");
        }
        response.success = true;
        response.message = "checked";
        return true;
      }));
  ASSERT_TRUE(support->subscribe_orvo<double>(ns + "/orvo_value", 4, [&](const double& value) {
    orvo_thread = std::this_thread::get_id();
    orvo_sum = orvo_sum + value;
  }));

  ros::NodeHandle client;
  ros::Publisher ros_pub = client.advertise<std_msgs::Int32>(ns + "/value", 10);
  std_msgs::Int32 msg;
  msg.data = 7;
  ros_pub.publish(msg);
  ASSERT_TRUE(wait_until([&] { return received.load() == 7; }, std::chrono::seconds(5)));
  EXPECT_EQ(topic_thread.load(), bridge_id);

  std_srvs::SetBool call;
  call.request.data = true;
  ASSERT_TRUE(ros::service::call(ns + "/check", call));
  EXPECT_EQ(call.response.message, "checked");
  EXPECT_EQ(service_thread.load(), bridge_id);
  {
    // A throwing callback fails the call and stops at the support.
    Orvo::JournalCapture journal;
    call.request.data = false;
    EXPECT_FALSE(ros::service::call(ns + "/check", call));
    EXPECT_TRUE(journal.contains("ros support: callback of '" + ns + "/check' threw: refused on purpose"));
  }

  auto orvo_pub = Orvo::Context().topicManager().advertise<double>(ns + "/orvo_value", 0.0, "test");
  ASSERT_TRUE(orvo_pub);
  auto loan = orvo_pub->loanMessage();
  ASSERT_TRUE(loan);
  loan->value() = 2.5;
  orvo_pub->publishLoaned(std::move(loan));
  ASSERT_TRUE(wait_until([&] { return orvo_sum.load() == 2.5; }, std::chrono::seconds(5)));
  EXPECT_EQ(orvo_thread.load(), bridge_id);
  EXPECT_EQ(orvo_queue->size(), orvo_runnables_before + 1);

  // Destroying the support ends everything it registered.
  support.reset();
  EXPECT_TRUE(owned_destroyed);
  EXPECT_EQ(orvo_queue->size(), orvo_runnables_before);
  EXPECT_TRUE(wait_until([&] { return ros_pub.getNumSubscribers() == 0; }, std::chrono::seconds(5)));
  EXPECT_FALSE(ros::service::exists(ns + "/check", false));
  ros_pub.publish(msg);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(received.load(), 7);

  stop = true;
  bridge.join();
}

}  // namespace
