#pragma once
// The node's logger listing "~get_loggers", which the ROS tools call, served
// from console_loggers(): roscpp's own handler goes through rosconsole's
// listing and sets off a crash of the process at its next logger lookup.
// roscpp's "~set_logger_level" stays: it only looks a logger up by name.

#include <string>

#include <ros/callback_queue.h>
#include <ros/spinner.h>

namespace Orvo {

// Serves the listing on a ROS spinner thread of its own, so that it answers
// whatever the plug-ins' threads are doing. The spinner holds a node handle:
// the node stays up while this lives.
class LoggerListingService {
public:
  // Any non-real-time thread, after ros::init and once a master answers;
  // allocates, starts the node if no handle did and the spinner thread, and
  // replaces roscpp's "~get_loggers".
  LoggerListingService();
  // The owner's thread: withdraws the listing and joins the spinner thread.
  ~LoggerListingService();

  LoggerListingService(const LoggerListingService&) = delete;
  LoggerListingService& operator=(const LoggerListingService&) = delete;

private:
  std::string _name;
  ros::CallbackQueue _queue;
  ros::AsyncSpinner _spinner;
};

}  // namespace Orvo
