// One cycle's ROS messages of the sensor devices.

#include <gtest/gtest.h>

#include <chrono>

#include "bridge_stamp.h"
#include "orvo2/clock/simulated_clock.h"
#include "sensor_messages.h"

namespace Orvo {
namespace {

class FakeSensors : public Hal::Device, public Hal::ForceTorque, public Hal::Imu,
                    public Hal::LinkStateSensor {
public:
  FakeSensors() : Hal::Device(Hal::DeviceInfo{"wrist", "fake", 7}) {}
  bool sense() override { return true; }
  bool move() override { return true; }
  Eigen::Matrix<double, 6, 1> getWrench() const override {
    return (Eigen::Matrix<double, 6, 1>() << 1, 2, 3, 4, 5, 6).finished();
  }
  Eigen::Vector3d getAngularVelocity() const override { return {0.1, 0.2, 0.3}; }
  Eigen::Vector3d getLinearAcceleration() const override { return {0, 0, 9.81}; }
  Eigen::Quaterniond getOrientation() const override { return {0.5, 0.5, 0.5, 0.5}; }
  Eigen::Affine3d getPose() const override {
    Eigen::Affine3d pose = Eigen::Affine3d::Identity();
    pose.translation() = Eigen::Vector3d(1, 2, 3);
    return pose;
  }
  Eigen::Matrix<double, 6, 1> getTwist() const override {
    return (Eigen::Matrix<double, 6, 1>() << 7, 8, 9, 10, 11, 12).finished();
  }
  const std::string& getLinkName() const override { return _link; }

private:
  std::string _link = "base";
};

TEST(SensorMessages, HeadersAndValuesOfEveryKind) {
  const FakeSensors sensor;
  const ros::Time stamp(42, 7);

  const geometry_msgs::WrenchStamped wrench = wrench_message(sensor, stamp);
  EXPECT_EQ(wrench.header.seq, 0u);
  EXPECT_EQ(wrench.header.stamp, stamp);
  EXPECT_EQ(wrench.header.frame_id, "wrist");
  EXPECT_EQ(wrench.wrench.force.x, 1);
  EXPECT_EQ(wrench.wrench.force.z, 3);
  EXPECT_EQ(wrench.wrench.torque.x, 4);
  EXPECT_EQ(wrench.wrench.torque.z, 6);

  const sensor_msgs::Imu imu = imu_message(sensor, stamp);
  EXPECT_EQ(imu.header.frame_id, "wrist");
  EXPECT_EQ(imu.header.stamp, stamp);
  EXPECT_EQ(imu.angular_velocity.y, 0.2);
  EXPECT_EQ(imu.linear_acceleration.z, 9.81);
  EXPECT_EQ(imu.orientation.w, 0.5);
  for (int i = 0; i < 9; ++i) {
    EXPECT_EQ(imu.orientation_covariance[i], 0.0);
    EXPECT_EQ(imu.angular_velocity_covariance[i], 0.0);
    EXPECT_EQ(imu.linear_acceleration_covariance[i], 0.0);
  }

  const geometry_msgs::PoseStamped pose = pose_message(sensor, stamp);
  const geometry_msgs::TwistStamped twist = twist_message(sensor, stamp);
  EXPECT_EQ(pose.header.frame_id, "world");
  EXPECT_EQ(twist.header.frame_id, "world");
  EXPECT_EQ(pose.header.stamp, stamp);
  EXPECT_EQ(twist.header.stamp, stamp);
  EXPECT_EQ(pose.header.seq, 0u);
  EXPECT_EQ(pose.pose.position.y, 2);
  EXPECT_EQ(pose.pose.orientation.w, 1);
  EXPECT_EQ(twist.twist.linear.x, 7);
  EXPECT_EQ(twist.twist.angular.z, 12);
}

// One robot's data on one clock: following a simulator, the sensors are
// stamped with its time, as the joint states are.
TEST(SensorMessages, StampedOnTheSimulatedClockWhileTheProcessFollowsASimulator) {
  using chrono::simulated_clock;
  ros::Time::init();
  if (!simulated_clock::uses_sim_time()) {
    EXPECT_GT(bridge_stamp().toSec(), 1.5e9);  // ROS time: the wall clock here
  }
  simulated_clock::enable_sim_time(true);
  simulated_clock::set_time(std::chrono::milliseconds(9800));
  EXPECT_EQ(bridge_stamp(), ros::Time(9, 800000000));
  simulated_clock::enable_sim_time(false);
}

}  // namespace
}  // namespace Orvo
