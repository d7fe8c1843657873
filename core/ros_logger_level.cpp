#include "ros_logger_level.h"

#include "console_loggers.h"

namespace Orvo {

void set_ros_logger_level() {
  for (const auto& logger : console_loggers()) {
    ros::console::set_logger_level(logger.first, ros::console::levels::Error);
  }
}

}  // namespace Orvo
