#include "sensor_messages.h"

#include <eigen_conversions/eigen_msg.h>

namespace Orvo {

namespace {

std_msgs::Header header(const std::string& frame, const ros::Time& stamp) {
  std_msgs::Header out;
  out.seq = 0;
  out.stamp = stamp;
  out.frame_id = frame;
  return out;
}

}  // namespace

geometry_msgs::WrenchStamped wrench_message(const Hal::ForceTorque& sensor, const ros::Time& stamp) {
  geometry_msgs::WrenchStamped out;
  out.header = header(sensor.get_name(), stamp);
  tf::wrenchEigenToMsg(sensor.getWrench(), out.wrench);
  return out;
}

sensor_msgs::Imu imu_message(const Hal::Imu& sensor, const ros::Time& stamp) {
  sensor_msgs::Imu out;
  out.header = header(sensor.get_name(), stamp);
  tf::vectorEigenToMsg(sensor.getAngularVelocity(), out.angular_velocity);
  tf::vectorEigenToMsg(sensor.getLinearAcceleration(), out.linear_acceleration);
  tf::quaternionEigenToMsg(sensor.getOrientation(), out.orientation);
  return out;
}

geometry_msgs::PoseStamped pose_message(const Hal::LinkStateSensor& sensor, const ros::Time& stamp) {
  geometry_msgs::PoseStamped out;
  out.header = header("world", stamp);
  tf::poseEigenToMsg(sensor.getPose(), out.pose);
  return out;
}

geometry_msgs::TwistStamped twist_message(const Hal::LinkStateSensor& sensor,
                                          const ros::Time& stamp) {
  geometry_msgs::TwistStamped out;
  out.header = header("world", stamp);
  tf::twistEigenToMsg(sensor.getTwist(), out.twist);
  return out;
}

}  // namespace Orvo
