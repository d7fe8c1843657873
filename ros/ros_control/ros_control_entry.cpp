// Entry points of liborvoctrl_ros_control: orvo2_get_plugin_abi_version_ros_control
// and orvo2_create_plugin_ros_control.
#include "orvo2/loading/control_plugin_library.h"
#include "ros_control.h"

ORVO2_CONTROL_PLUGIN(ros_control, Orvo::RosControl)
