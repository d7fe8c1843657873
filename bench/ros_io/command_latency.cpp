// command_latency SAMPLES JOINT: starts ros_control through the bridge's
// "/orvocore/ros_control/switch", then measures the time from publishing an
// orvo_msgs/JointCommand on "/orvocore/command" (a position for JOINT, in
// steps within the joint's rate limit, with a roscpp publisher) to the first
// "/orvocore/joint_states" whose link_position of JOINT is that position (the
// dummy joint's echo), SAMPLES times, 0 to 20 ms apart (so that commands meet
// every phase of the threads' cycles). Prints one line:
//   samples N unanswered U median_us M p99_us P max_us X
// Every wait is bounded (1 s per sample, 20 s to start and to connect); the
// whole run is bounded by the number of samples.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <orvo_msgs/JointCommand.h>
#include <orvo_msgs/JointState.h>
#include <ros/callback_queue.h>
#include <ros/master.h>
#include <ros/ros.h>
#include <std_srvs/SetBool.h>

namespace {

using Clock = std::chrono::steady_clock;

// The newest echoed position of one joint, taken from joint_states.
struct Echo {
  std::string joint;
  float position = -1e9f;
  Clock::time_point arrived;

  void take(const orvo_msgs::JointState::ConstPtr& msg) {
    for (size_t i = 0; i < msg->name.size() && i < msg->link_position.size(); ++i) {
      if (msg->name[i] == joint) {
        position = msg->link_position[i];
        arrived = Clock::now();
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  ros::init(argc, argv, "orvo_report_commander");
  if (argc != 3) {
    std::fprintf(stderr, "usage: command_latency SAMPLES JOINT\n");
    return 2;
  }
  const int samples = std::stoi(argv[1]);
  Echo echo;
  echo.joint = argv[2];
  // A master that went away fails a call after 2 s instead of retrying forever.
  ros::master::setRetryTimeout(ros::WallDuration(2));
  ros::NodeHandle node;
  ros::Publisher commands = node.advertise<orvo_msgs::JointCommand>("/orvocore/command", 50);
  ros::Subscriber states = node.subscribe<orvo_msgs::JointState>(
      "/orvocore/joint_states", 10, [&echo](const orvo_msgs::JointState::ConstPtr& msg) { echo.take(msg); },
      ros::VoidConstPtr(), ros::TransportHints().tcpNoDelay());

  // The bridge answers once ros_control is made; retried for up to 20 s.
  std_srvs::SetBool start;
  start.request.data = true;
  bool started = false;
  for (int attempt = 0; attempt < 40 && !started && ros::ok(); ++attempt) {
    started = ros::service::waitForService("/orvocore/ros_control/switch", ros::Duration(0.5)) &&
              ros::service::call("/orvocore/ros_control/switch", start) && start.response.success;
    if (!started) {
      std::this_thread::sleep_for(std::chrono::milliseconds(500));
    }
  }
  if (!started) {
    std::fprintf(stderr, "command_latency: /orvocore/ros_control/switch did not start ros_control: '%s'\n",
                 start.response.message.c_str());
    return 1;
  }

  orvo_msgs::JointCommand command;
  command.name = {echo.joint};
  command.position = {0.0f};
  command.ctrl_mode = {1};
  // Sends `position` and waits (bounded) for its echo; the time it took.
  const auto round = [&](float position, std::chrono::milliseconds limit) {
    command.position[0] = position;
    const auto sent = Clock::now();
    commands.publish(command);
    const auto deadline = sent + limit;
    while (echo.position != position && Clock::now() < deadline) {
      ros::getGlobalCallbackQueue()->callAvailable(ros::WallDuration(0.0002));
    }
    return echo.position == position ? echo.arrived - sent : Clock::duration::max();
  };

  // The joint master refuses a position step faster than the joint's rate
  // limit (2 rad/s for the dummy arm, 2 mrad per 1 ms cycle) and then
  // disables the joint: positions move by 0.5 mrad per command, between 0
  // and 0.25 rad.
  const auto position = [](int k) {
    const int phase = k % 1000;
    return 0.0005f * static_cast<float>(phase < 500 ? phase + 1 : 1000 - phase);
  };
  bool connected = false;
  const auto connect_deadline = Clock::now() + std::chrono::seconds(20);
  while (!connected && Clock::now() < connect_deadline && ros::ok()) {
    connected = commands.getNumSubscribers() > 0 &&
                round(position(0), std::chrono::milliseconds(200)) != Clock::duration::max();
  }
  if (!connected) {
    std::fprintf(stderr, "command_latency: no echo of a command to '%s' within 20 s\n", echo.joint.c_str());
    return 1;
  }

  std::mt19937 random(11);
  std::uniform_int_distribution<int> pause_us(0, 20000);
  std::vector<double> latency_us;
  int unanswered = 0;
  for (int i = 0; i < samples && ros::ok(); ++i) {
    std::this_thread::sleep_for(std::chrono::microseconds(pause_us(random)));
    const auto took = round(position(i + 1), std::chrono::seconds(1));
    if (took == Clock::duration::max()) {
      ++unanswered;
    } else {
      latency_us.push_back(std::chrono::duration<double, std::micro>(took).count());
    }
  }
  if (latency_us.empty()) {
    std::fprintf(stderr, "command_latency: no command was echoed\n");
    return 1;
  }
  std::sort(latency_us.begin(), latency_us.end());
  const auto at = [&latency_us](double f) {
    return latency_us[static_cast<size_t>(f * static_cast<double>(latency_us.size() - 1))];
  };
  std::printf("samples %zu unanswered %d median_us %.0f p99_us %.0f max_us %.0f\n", latency_us.size(), unanswered,
              at(0.5), at(0.99), at(1.0));
  std::fflush(stdout);
  return 0;
}
