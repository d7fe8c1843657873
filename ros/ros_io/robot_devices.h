#pragma once
// Every device of a plug-in's robot, whatever its kind.

#include <memory>
#include <vector>

#include "orvo2/devices/device_base.h"
#include "orvo_interface/robot_interface.h"

namespace Orvo {

// Set-up, the plug-in's thread; allocates. The devices of the robot's back
// end (joints and sensors), which own them for the robot's life; empty for a
// back end that keeps no device list.
std::vector<std::shared_ptr<Hal::DeviceBase>> robot_devices(RobotInterface& robot);

}  // namespace Orvo
