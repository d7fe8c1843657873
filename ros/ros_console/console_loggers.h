#pragma once
// The ROS console's loggers, read from its back end directly: rosconsole's
// own listing (ros::console::get_loggers), built against an older log4cxx,
// releases log4cxx's logger repository on this system, and the next logger
// lookup of the process crashes.

#include <map>
#include <string>

#include <ros/console.h>

namespace Orvo {

// Any thread; allocates. Every logger that exists now, by name, with its
// effective level. Initialises the console back end first.
std::map<std::string, ros::console::levels::Level> console_loggers();

}  // namespace Orvo
