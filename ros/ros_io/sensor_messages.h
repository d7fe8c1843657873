#pragma once
// One cycle's ROS message of a sensor device, from its last sensed record.

#include <ros/time.h>

#include <geometry_msgs/PoseStamped.h>
#include <geometry_msgs/TwistStamped.h>
#include <geometry_msgs/WrenchStamped.h>
#include <sensor_msgs/Imu.h>

#include "orvo2/devices/force_torque.h"
#include "orvo2/devices/imu.h"
#include "orvo2/devices/link_state_sensor.h"

namespace Orvo {

// Bridge thread; allocate the frame id. Header: sequence 0, the cycle's
// stamp, the device name as frame (the link-state messages: "world").
geometry_msgs::WrenchStamped wrench_message(const Hal::ForceTorque& sensor, const ros::Time& stamp);
// Covariances stay all zero.
sensor_msgs::Imu imu_message(const Hal::Imu& sensor, const ros::Time& stamp);
geometry_msgs::PoseStamped pose_message(const Hal::LinkStateSensor& sensor, const ros::Time& stamp);
geometry_msgs::TwistStamped twist_message(const Hal::LinkStateSensor& sensor,
                                          const ros::Time& stamp);

}  // namespace Orvo
