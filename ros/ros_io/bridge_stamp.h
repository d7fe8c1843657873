#pragma once
// The one clock of the bridge's stamps: every topic the bridge stamps in a
// cycle carries the same clock as the joint states the joint master stamps.

#include <ros/time.h>

namespace Orvo {

// Any thread; never allocates. The simulated time when this process follows
// a simulator (orvocore --simtime), otherwise ROS time (ros::Time::now, which
// needs ROS time initialised).
ros::Time bridge_stamp();

}  // namespace Orvo
