#pragma once
// The robot interface handed to each control plug-in.

#include <memory>
#include <string>

namespace Orvo {

class RobotInterface;

// Set-up only; allocates, loads the robot back end. A new robot interface
// made from the options in "/orvo_internal/hal/robot_ifc_cfg" (their
// "framework" names the back end). Throws what the back end throws.
//
// Interim: until the real-time back end library exists, a process without
// that library (or without the options) gives its plug-ins no robot: null,
// with a warning naming the task.
std::shared_ptr<RobotInterface> make_plugin_robot(const std::string& task);

}  // namespace Orvo
