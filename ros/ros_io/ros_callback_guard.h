#pragma once
// The boundary between roscpp's callback queue and the bridge's own code:
// nothing thrown below may reach the bridge's cycle.

#include <exception>
#include <string>

#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"

namespace Orvo {

// Bridge thread. Runs `body` and returns its result; an exception is logged
// with the name of the callback that raised it and gives false (for a ROS
// service: the call fails at the caller).
template <typename Body>
bool guard_ros_callback(const std::string& callback, Body&& body) noexcept {
  try {
    return body();
  } catch (const std::exception& error) {
    Context().journal().jhigh().vlog(Journal::Error, "ros_io: '{}' failed: {} \n", callback,
                                     error.what());
  } catch (...) {
    Context().journal().jhigh().vlog(Journal::Error, "ros_io: '{}' failed: unknown exception \n",
                                     callback);
  }
  return false;
}

}  // namespace Orvo
