// Entry points of liborvoctrl_ros_io.so.

#include "orvo2/loading/control_plugin_library.h"
#include "ros_io.h"

ORVO2_CONTROL_PLUGIN(ros_io, Orvo::RosIO)
