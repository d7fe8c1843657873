// Type names, MD5 sums and definition texts of the orvo_msgs types: the
// contract with outside ROS peers.
#include <gtest/gtest.h>

#include <ros/message_traits.h>
#include <ros/service_traits.h>

#include <orvo_msgs/GetPluginList.h>
#include <orvo_msgs/JointCommand.h>
#include <orvo_msgs/JointDeviceInfo.h>
#include <orvo_msgs/JointState.h>
#include <orvo_msgs/LifecycleEvent.h>
#include <orvo_msgs/PluginStatus.h>
#include <orvo_msgs/SetControlMask.h>
#include <orvo_msgs/Statistics.h>
#include <std_msgs/Header.h>

#include <string>

namespace {

template <typename M>
void expect_message(const std::string& type, const std::string& md5) {
  EXPECT_EQ(ros::message_traits::DataType<M>::value(), type);
  EXPECT_EQ(ros::message_traits::MD5Sum<M>::value(), md5) << type;
}

template <typename S>
void expect_service(const std::string& type, const std::string& md5) {
  using Request = typename S::Request;
  using Response = typename S::Response;
  EXPECT_EQ(ros::service_traits::DataType<S>::value(), type);
  EXPECT_EQ(ros::service_traits::MD5Sum<S>::value(), md5) << type;
  // Requests and responses carry the service's sum.
  EXPECT_EQ(ros::service_traits::MD5Sum<Request>::value(), md5) << type;
  EXPECT_EQ(ros::service_traits::MD5Sum<Response>::value(), md5) << type;
  EXPECT_EQ(ros::message_traits::DataType<Request>::value(), type + "Request");
  EXPECT_EQ(ros::message_traits::DataType<Response>::value(), type + "Response");
}

const std::string rule(80, '=');

const char* const thread_statistics_text =
    "string name\nfloat32 hal_sense_time\nfloat32 hal_move_time\nfloat32 task_run_time\n"
    "float32 total_time\nfloat32 period\nfloat32 expected_period\nstring state\n";
const char* const task_statistics_text =
    "string name\nstring thread\nfloat32 run_time\nstring state\n";

}  // namespace

TEST(OrvoMsgsTraits, MessageTypesAndSums) {
  expect_message<orvo_msgs::JointState>("orvo_msgs/JointState", "7717a87ce6deb92baf32beff59df91e3");
  expect_message<orvo_msgs::Statistics>("orvo_msgs/Statistics", "9bbe3105ba6a4ffdc09d8f8266cb49f8");
  expect_message<orvo_msgs::LifecycleEvent>("orvo_msgs/LifecycleEvent",
                                            "ecdb40f936510b7a218f59d34e9d9ab7");
  expect_message<orvo_msgs::JointDeviceInfo>("orvo_msgs/JointDeviceInfo",
                                             "21b4ebe20052304352484c2b89db6383");
  // Sums the generator computes from the definitions of these types; a
  // renamed, retyped or reordered member changes them.
  expect_message<orvo_msgs::ThreadStatistics>("orvo_msgs/ThreadStatistics",
                                              "e7b6dc40cb6dc78f58ac714b052fe62f");
  expect_message<orvo_msgs::TaskStatistics>("orvo_msgs/TaskStatistics",
                                            "4dc6b57a2edd5e3e9bd5687aa9f682ba");
  expect_message<orvo_msgs::JointCommand>("orvo_msgs/JointCommand",
                                          "741f14d9d56a3e691e219c6e58e46510");
}

TEST(OrvoMsgsTraits, ServiceTypesAndSums) {
  expect_service<orvo_msgs::PluginStatus>("orvo_msgs/PluginStatus",
                                          "af6d3a99f0fbeb66d3248fa4b3e675fb");
  expect_service<orvo_msgs::GetPluginList>("orvo_msgs/GetPluginList",
                                           "a49965d3bd05595bb9d8d395bdf1e585");
  expect_service<orvo_msgs::SetControlMask>("orvo_msgs/SetControlMask",
                                            "4681e746c53ab67334623c7ec6af1b34");
}

TEST(OrvoMsgsTraits, DefinitionTexts) {
  using ros::message_traits::Definition;
  EXPECT_STREQ(Definition<orvo_msgs::JointDeviceInfo>::value(),
               "bool filter_active\nfloat64 filter_cutoff_hz\nuint8 mask\n");
  EXPECT_STREQ(Definition<orvo_msgs::LifecycleEvent>::value(),
               "string plugin_name\nstring from_state\nstring to_state\n");
  EXPECT_STREQ(Definition<orvo_msgs::ThreadStatistics>::value(), thread_statistics_text);
  EXPECT_STREQ(Definition<orvo_msgs::TaskStatistics>::value(), task_statistics_text);

  const std::string statistics =
      std::string("# Run-time statistics for orvo2\n"
                  "orvo_msgs/ThreadStatistics[] thread_stats\n"
                  "orvo_msgs/TaskStatistics[] task_stats\n") +
      "\n" + rule + "\nMSG: orvo_msgs/ThreadStatistics\n" + thread_statistics_text +
      "\n" + rule + "\nMSG: orvo_msgs/TaskStatistics\n" + task_statistics_text;
  EXPECT_EQ(Definition<orvo_msgs::Statistics>::value(), statistics);

  const std::string joint_state =
      "std_msgs/Header header\n\n# Joint names\nstring[] name\n\n# Sensed data\n"
      "float32[] link_position\nfloat32[] motor_position\nfloat32[] link_velocity\n"
      "float32[] motor_velocity\nfloat32[] effort\nuint16[] temperature_motor\n"
      "uint16[] temperature_driver\n\n# Desired values\nfloat32[] position_reference\n"
      "float32[] velocity_reference\nfloat32[] effort_reference\nfloat32[] stiffness\n"
      "float32[] damping\n\n# Fault\nuint16[] fault\n\n"
      "# Auxiliary field (usually for motor current)\nstring aux_name\nfloat32[] aux\n";
  const std::string header_block = "\n" + rule + "\nMSG: std_msgs/Header\n" +
                                   Definition<std_msgs::Header>::value();
  EXPECT_EQ(Definition<orvo_msgs::JointState>::value(), joint_state + header_block);

  const std::string command = Definition<orvo_msgs::JointCommand>::value();
  EXPECT_EQ(command.substr(command.size() - header_block.size()), header_block);
}

TEST(OrvoMsgsTraits, FixedSizeOnlyWhereNoStringsOrArrays) {
  EXPECT_TRUE(ros::message_traits::IsFixedSize<orvo_msgs::JointDeviceInfo>::value);
  EXPECT_TRUE(ros::message_traits::HasHeader<orvo_msgs::JointState>::value);
  EXPECT_TRUE(ros::message_traits::HasHeader<orvo_msgs::JointCommand>::value);
  EXPECT_FALSE(ros::message_traits::IsFixedSize<orvo_msgs::Statistics>::value);
}
