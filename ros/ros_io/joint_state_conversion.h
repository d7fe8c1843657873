#pragma once
// The joint master's aggregated joint state as an orvo_msgs/JointState.

#include <cstdint>

#include <ros/time.h>

#include <orvo_msgs/JointState.h>

#include "orvo2/devices/joint_master_messages.h"

namespace Orvo {

// Any thread; never allocates or throws. The sensed temperature truncated
// toward zero to a 32-bit integer, of which the low 16 bits are kept (36.9
// gives 36, -1.0 gives 65535). A value no 32-bit integer holds (NaN,
// infinities, 2^31 and beyond) gives 0.
uint16_t temperature_to_u16(float temperature);

// Any thread; never allocates or throws. A stamp in ns since the epoch as ROS
// time. ROS time cannot go before the epoch nor past 2^32 s: earlier stamps
// give time zero, later ones the largest ROS time.
ros::Time stamp_to_ros_time(int64_t stamp_ns);

// Any thread. Fills `out` (reused from call to call: with an unchanged joint
// count no array is reallocated) from `in`: names, sensed values and
// references per joint, the stamp; `fault` and `aux` zero; header seq,
// frame id and aux_name untouched. False, leaving `out` unchanged, when `in`
// carries fewer rx records than joint infos.
bool fill_joint_state(const Hal::JointMasterRx& in, orvo_msgs::JointState& out);

}  // namespace Orvo
