#pragma once
// ROS arguments on orvocore's command line: those holding ":=", as roslaunch
// appends them (__name:=, __log:=, remappings), are ROS's, not the options'.

#include <string>
#include <vector>

namespace Orvo {

class ParameterManager;

// Main thread, before the options are parsed. Removes every argument that
// holds ":=" from argv (argc shrinks; the others keep their order) and
// returns them in their order.
std::vector<std::string> take_ros_arguments(int& argc, char** argv);

// Main thread, set-up, after the configuration's parameters are published.
// Appends `args` to the bridge's "ros_args" ("/orvo_internal/ros_args"),
// after those the configuration gives, so that ROS sees both (a later
// remapping of a name wins). Nothing is written for an empty list. Throws
// std::runtime_error when "ros_args" exists with another type.
void publish_ros_arguments(ParameterManager& params, const std::vector<std::string>& args);

}  // namespace Orvo
