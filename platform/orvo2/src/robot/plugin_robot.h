#pragma once
// The robot interface handed to each control plug-in.

#include <memory>
#include <string>

namespace Orvo {

class RobotInterface;

// Set-up only; allocates, loads the robot back end. A new robot interface
// made from the options in "/orvo_internal/hal/robot_ifc_cfg" (their
// "framework" names the back end), owned by `task`: its commands carry the
// task's name. Without the options (a thread built outside the launcher) the
// plug-in gets no robot: null, with a warning naming the task. Throws what
// the back end throws.
std::shared_ptr<RobotInterface> make_plugin_robot(const std::string& task);

}  // namespace Orvo
