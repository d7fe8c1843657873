#pragma once
// Quiets ROS's console output for a launcher that is not verbose.

namespace Orvo {

// Main thread, set-up. Puts every ROS console logger that exists now at the
// Error level; loggers made later keep their own level.
void set_ros_logger_level();

}  // namespace Orvo
