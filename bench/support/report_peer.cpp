// The other process of the comparison benchmark, until SIGINT:
//   report_peer ros                 a ROS node that sends every record,
//                                   record block and joint state back, and
//                                   serves "/orvo_report/set_bool";
//   report_peer joint_states        a ROS node subscribed to
//                                   "/orvocore/joint_states" (the bridge then
//                                   serializes and sends every joint state);
//   report_peer channel NAME COUNT  the simulator end of the device channel
//                                   NAME with COUNT joint-sized devices: it
//                                   answers every frame of the client at once
//                                   (spinning, as a simulator step would).

#include <signal.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <orvo_msgs/JointState.h>
#include <ros/ros.h>
#include <std_srvs/SetBool.h>

#include "orvo2/channel/server_manager.h"
#include "record_messages.h"
#include "test_device.h"

namespace {

std::atomic<bool> running{true};

void on_sigint(int) { running.store(false); }

int serve_ros(int argc, char** argv) {
  ros::init(argc, argv, "orvo_report_peer");
  ros::NodeHandle node;
  const auto hints = ros::TransportHints().tcpNoDelay();
  ros::Publisher rx_back = node.advertise<OrvoBench::JointRxMessage>("/orvo_report/rx_back", 100);
  ros::Publisher state_back = node.advertise<orvo_msgs::JointState>("/orvo_report/state_back", 100);
  ros::Publisher block_back = node.advertise<OrvoBench::JointRxBlock>("/orvo_report/rx_block", 100);
  OrvoBench::JointRxBlock answer;
  const std::vector<ros::Subscriber> subscribers = {
      node.subscribe<OrvoBench::JointRxMessage>(
          "/orvo_report/rx_out", 100,
          [&rx_back](const OrvoBench::JointRxMessage::ConstPtr& msg) { rx_back.publish(*msg); },
          ros::VoidConstPtr(), hints),
      node.subscribe<orvo_msgs::JointState>(
          "/orvo_report/state_out", 100,
          [&state_back](const orvo_msgs::JointState::ConstPtr& msg) { state_back.publish(*msg); },
          ros::VoidConstPtr(), hints),
      // A block of commands is answered with a block of states, as a
      // simulator step answers the robot: the first state carries the first
      // command's position reference, so that the sender can match them.
      node.subscribe<OrvoBench::JointTxBlock>(
          "/orvo_report/tx_block", 100,
          [&block_back, &answer](const OrvoBench::JointTxBlock::ConstPtr& msg) {
            answer.records.resize(msg->records.size());
            for (size_t i = 0; i < msg->records.size(); ++i) {
              answer.records[i].pos_ref = msg->records[i].pos_ref;
              answer.records[i].link_pos = msg->records[i].pos_ref;
            }
            block_back.publish(answer);
          },
          ros::VoidConstPtr(), hints)};
  const boost::function<bool(std_srvs::SetBool::Request&, std_srvs::SetBool::Response&)> set_bool =
      [](std_srvs::SetBool::Request& request, std_srvs::SetBool::Response& response) {
        response.success = request.data;
        response.message = "set";
        return true;
      };
  ros::ServiceServer service = node.advertiseService("/orvo_report/set_bool", set_bool);
  ros::spin();
  return 0;
}

int listen_joint_states(int argc, char** argv) {
  ros::init(argc, argv, "orvo_report_listener");
  ros::NodeHandle node;
  uint64_t received = 0;
  ros::Subscriber sub = node.subscribe<orvo_msgs::JointState>(
      "/orvocore/joint_states", 10, [&received](const orvo_msgs::JointState::ConstPtr&) { ++received; },
      ros::VoidConstPtr(), ros::TransportHints().tcpNoDelay());
  ros::spin();
  std::printf("received %llu joint states\n", static_cast<unsigned long long>(received));
  return 0;
}

int serve_channel(const std::string& name, int count) {
  std::vector<std::shared_ptr<Orvo::Hal::DeviceRt>> devices;
  for (int i = 0; i < count; ++i) {
    devices.push_back(std::make_shared<Orvo::test::TestDevice>("joint_" + std::to_string(i)));
  }
  Orvo::ServerManager server(devices, "shm", name);
  std::printf("serving %s\n", server.segment_name().c_str());
  std::fflush(stdout);
  while (running.load(std::memory_order_relaxed)) {
    if (server.run()) {
      server.send(false);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc > 1 ? argv[1] : "";
  if (mode == "ros") {
    return serve_ros(argc, argv);
  }
  if (mode == "joint_states") {
    return listen_joint_states(argc, argv);
  }
  if (mode == "channel" && argc == 4) {
    struct sigaction action {};
    action.sa_handler = on_sigint;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    return serve_channel(argv[2], std::stoi(argv[3]));
  }
  std::fprintf(stderr, "usage: report_peer ros | report_peer joint_states | report_peer channel NAME COUNT (got '%s')\n", mode.c_str());
  return 2;
}
