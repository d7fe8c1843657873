#pragma once
// Framework status messages as the ROS messages the bridge relays.

#include <orvo_msgs/JointDeviceInfo.h>
#include <orvo_msgs/LifecycleEvent.h>

#include "orvo2/devices/joint_master_messages.h"
#include "orvo2/tasks/runnable.h"

namespace Orvo {

// Any thread; allocates. The plug-in's name and the texts of the state left
// and the state entered.
orvo_msgs::LifecycleEvent to_lifecycle_message(const Runnable::LifecycleEvent& event);

// Any thread; never allocates. The control mask's low 8 bits, the filter's
// switch and cut-off.
orvo_msgs::JointDeviceInfo to_joint_device_info(const Hal::JointMasterInfo& info);

}  // namespace Orvo
