#include "ros_logger_level.h"

#include <set>
#include <string>

#include <log4cxx/logger.h>
#include <log4cxx/logmanager.h>
#include <ros/console.h>

namespace Orvo {

void set_ros_logger_level() {
  // The console back end must be set up before its loggers are touched.
  ros::console::initialize();
  // The loggers are listed through log4cxx itself: rosconsole's get_loggers,
  // built against an older log4cxx, releases log4cxx's logger repository on
  // this system and the next logger lookup crashes.
  std::set<std::string> names;
  for (const auto& logger : log4cxx::LogManager::getCurrentLoggers()) {
    names.insert(logger->getName());
  }
  for (const std::string& name : names) {
    ros::console::set_logger_level(name, ros::console::levels::Error);
  }
}

}  // namespace Orvo
