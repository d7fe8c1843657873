// The joint master's aggregated state as orvo_msgs/JointState.

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "joint_state_conversion.h"

namespace Orvo {
namespace {

Hal::JointMasterRx make_rx(int joints) {
  std::vector<Hal::DeviceInfo> infos;
  for (int i = 0; i < joints; ++i) {
    infos.push_back(Hal::DeviceInfo{"joint_" + std::to_string(i), "joint_dummy", i + 1});
  }
  Hal::JointMasterRx rx(infos);
  for (int i = 0; i < joints; ++i) {
    const float base = 100.0f * static_cast<float>(i);
    rx.rx[i] = Hal::joint_rx{base + 1, base + 2, base + 3, base + 4, base + 5, 36.9f,
                             base + 7, base + 8, base + 9, base + 10, base + 11};
  }
  return rx;
}

TEST(JointStateConversion, EveryFieldGoesToItsMember) {
  Hal::JointMasterRx rx = make_rx(3);
  rx.stamp = 1500000000123;
  orvo_msgs::JointState out;
  ASSERT_TRUE(fill_joint_state(rx, out));

  EXPECT_EQ(out.header.stamp.sec, 1500u);
  EXPECT_EQ(out.header.stamp.nsec, 123u);
  EXPECT_EQ(out.header.seq, 0u);
  EXPECT_EQ(out.header.frame_id, "");
  EXPECT_EQ(out.aux_name, "");
  ASSERT_EQ(out.name, (std::vector<std::string>{"joint_0", "joint_1", "joint_2"}));
  for (size_t i = 0; i < 3; ++i) {
    const float base = 100.0f * static_cast<float>(i);
    EXPECT_EQ(out.link_position[i], base + 1);
    EXPECT_EQ(out.motor_position[i], base + 2);
    EXPECT_EQ(out.link_velocity[i], base + 3);
    EXPECT_EQ(out.motor_velocity[i], base + 4);
    EXPECT_EQ(out.effort[i], base + 5);
    EXPECT_EQ(out.temperature_motor[i], 36);
    EXPECT_EQ(out.temperature_driver[i], 36);
    EXPECT_EQ(out.position_reference[i], base + 7);
    EXPECT_EQ(out.velocity_reference[i], base + 8);
    EXPECT_EQ(out.effort_reference[i], base + 9);
    EXPECT_EQ(out.stiffness[i], base + 10);
    EXPECT_EQ(out.damping[i], base + 11);
    EXPECT_EQ(out.fault[i], 0);
    EXPECT_EQ(out.aux[i], 0.0f);
  }
}

TEST(JointStateConversion, ArraysFollowTheLatestJointCountWithoutReallocating) {
  orvo_msgs::JointState out;
  out.fault.assign(12, 7);  // left over from elsewhere: must be zeroed
  ASSERT_TRUE(fill_joint_state(make_rx(12), out));
  const float* storage = out.damping.data();

  ASSERT_TRUE(fill_joint_state(make_rx(10), out));
  EXPECT_EQ(out.name.size(), 10u);
  EXPECT_EQ(out.name.back(), "joint_9");
  for (const auto* size : {&out.link_position, &out.motor_position, &out.link_velocity,
                           &out.motor_velocity, &out.effort, &out.position_reference,
                           &out.velocity_reference, &out.effort_reference, &out.stiffness,
                           &out.damping, &out.aux}) {
    EXPECT_EQ(size->size(), 10u);
  }
  EXPECT_EQ(out.temperature_motor.size(), 10u);
  EXPECT_EQ(out.temperature_driver.size(), 10u);
  EXPECT_EQ(out.fault, std::vector<uint16_t>(10, 0));
  EXPECT_EQ(out.damping.data(), storage);

  ASSERT_TRUE(fill_joint_state(make_rx(0), out));
  EXPECT_TRUE(out.name.empty());
  EXPECT_TRUE(out.temperature_driver.empty());
  EXPECT_TRUE(out.aux.empty());
}

TEST(JointStateConversion, MessageWithFewerRecordsThanJointsIsRefusedUntouched) {
  orvo_msgs::JointState out;
  ASSERT_TRUE(fill_joint_state(make_rx(2), out));
  Hal::JointMasterRx short_rx = make_rx(4);
  short_rx.rx.resize(3);
  EXPECT_FALSE(fill_joint_state(short_rx, out));
  EXPECT_EQ(out.name.size(), 2u);
}

TEST(JointStateConversion, TemperatureTruncatesAndKeepsTheLow16Bits) {
  EXPECT_EQ(temperature_to_u16(36.9f), 36);
  EXPECT_EQ(temperature_to_u16(-0.9f), 0);
  EXPECT_EQ(temperature_to_u16(-1.0f), 65535);
  EXPECT_EQ(temperature_to_u16(70000.0f), 4464);
  EXPECT_EQ(temperature_to_u16(-2147483648.0f), 0);
  // Beyond what a 32-bit integer holds: 0 rather than undefined behaviour.
  EXPECT_EQ(temperature_to_u16(3.0e9f), 0);
  EXPECT_EQ(temperature_to_u16(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(temperature_to_u16(-std::numeric_limits<float>::infinity()), 0);
}

TEST(JointStateConversion, StampsOutsideRosTimeAreClampedNotThrown) {
  EXPECT_EQ(stamp_to_ros_time(0), ros::Time(0, 0));
  EXPECT_EQ(stamp_to_ros_time(999999999), ros::Time(0, 999999999));
  EXPECT_EQ(stamp_to_ros_time(-1), ros::Time(0, 0));
  EXPECT_EQ(stamp_to_ros_time(-1500000000), ros::Time(0, 0));
  EXPECT_EQ(stamp_to_ros_time(std::numeric_limits<int64_t>::max()), ros::TIME_MAX);
  EXPECT_EQ(stamp_to_ros_time(4294967295LL * 1000000000LL + 5), ros::Time(4294967295u, 5));
}

}  // namespace
}  // namespace Orvo
