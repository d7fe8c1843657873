#pragma once
// The node's logger listing "~get_loggers", which the ROS tools call, served
// from console_loggers(): roscpp's own handler goes through rosconsole's
// listing and sets off a crash of the process at its next logger lookup.
// roscpp's "~set_logger_level" stays: it only looks a logger up by name.

namespace Orvo {

// Any non-real-time thread, after ros::init and once a master answers;
// allocates and starts one ROS spinner thread that serves only this service,
// for the rest of the process. Starts the node (ros::start) and replaces
// roscpp's "~get_loggers"; later calls do nothing.
void serve_logger_listing_service();

}  // namespace Orvo
