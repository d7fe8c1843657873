// Process-wide ROS initialisation of the bridge.

#include <time.h>

#include <cerrno>
#include <cstdint>

#include <ros/init.h>
#include <ros/master.h>

#include "framework/primitives/debug.h"
#include "framework/primitives/monotonic_clock.h"
#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"
#include "ros_io.h"

namespace Orvo {

namespace {

constexpr int64_t kWaitMessageInterval = 1000000000;  // ns

// 100 ms on the monotonic clock; a signal does not shorten it.
void sleep_poll_interval() {
  timespec remaining{0, 100000000};
  while (clock_nanosleep(CLOCK_MONOTONIC, 0, &remaining, &remaining) == EINTR) {
  }
}

}  // namespace

RosIO::ros_init_token::ros_init_token(std::vector<std::string> args) {
  thread_local int64_t last_message_ns = 0;
  thread_local bool last_message_set = false;

  args.insert(args.begin(), "orvocore");
  std::vector<char*> argv;
  argv.reserve(args.size());
  for (std::string& arg : args) {
    argv.push_back(arg.data());
  }
  int argc = static_cast<int>(argv.size());
  ros::init(argc, argv.data(), "orvocore", ros::init_options::NoSigintHandler);

  while (!ros::master::check()) {
    if (!last_message_set) {
      last_message_ns = monotonic_now_ns();
      last_message_set = true;
    }
    const int64_t now = monotonic_now_ns();
    if (now - last_message_ns > kWaitMessageInterval) {
      Context().journal().jhigh().vlog(Journal::Info, "waiting for ros master.. \n");
      last_message_ns = now;
    }
    sleep_poll_interval();
  }
  ORVO2_DEBUG_TRACE(0, "ros_init_token", "successfully connected to ros master \n");
}

}  // namespace Orvo
