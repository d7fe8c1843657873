// The other processes of the bridge benchmark, until SIGINT:
//   ros_io_bench_echo        answers every joint state it receives (from the
//                            bridge or published directly) with its stamp on
//                            "/ros_io_bench/ack";
//   ros_io_bench_echo sink   takes in the bridge's statistics and sensor
//                            topics, so that the bridge serializes and sends them.

#include <ros/ros.h>

#include <geometry_msgs/PoseStamped.h>
#include <geometry_msgs/TwistStamped.h>
#include <geometry_msgs/WrenchStamped.h>
#include <orvo_msgs/JointState.h>
#include <orvo_msgs/Statistics.h>
#include <sensor_msgs/Imu.h>
#include <std_msgs/Time.h>

namespace {

template <typename M>
ros::Subscriber sink(ros::NodeHandle& node, const std::string& topic) {
  return node.subscribe<M>(topic, 10, [](const typename M::ConstPtr&) {}, ros::VoidConstPtr(),
                           ros::TransportHints().tcpNoDelay());
}

}  // namespace

int main(int argc, char** argv) {
  const bool sink_mode = argc > 1 && std::string(argv[1]) == "sink";
  ros::init(argc, argv, sink_mode ? "ros_io_bench_sink" : "ros_io_bench_echo");
  ros::NodeHandle node;
  if (sink_mode) {
    const std::vector<ros::Subscriber> sinks = {
        sink<orvo_msgs::Statistics>(node, "/orvocore/statistics"),
        sink<geometry_msgs::WrenchStamped>(node, "/orvocore/ft/ft_1"),
        sink<sensor_msgs::Imu>(node, "/orvocore/imu/imu_1"),
        sink<geometry_msgs::PoseStamped>(node, "/orvocore/link_state/link_10/pose"),
        sink<geometry_msgs::TwistStamped>(node, "/orvocore/link_state/link_10/twist"),
        sink<geometry_msgs::PoseStamped>(node, "/orvocore/link_state/link_20/pose"),
        sink<geometry_msgs::TwistStamped>(node, "/orvocore/link_state/link_20/twist")};
    ros::spin();
    return 0;
  }
  ros::Publisher ack = node.advertise<std_msgs::Time>("/ros_io_bench/ack", 100);
  const auto reply = [&ack](const orvo_msgs::JointState::ConstPtr& msg) {
    std_msgs::Time stamp;
    stamp.data = msg->header.stamp;
    ack.publish(stamp);
  };
  const auto hints = ros::TransportHints().tcpNoDelay();
  ros::Subscriber bridged = node.subscribe<orvo_msgs::JointState>("/orvocore/joint_states", 100, reply,
                                                                  ros::VoidConstPtr(), hints);
  ros::Subscriber direct = node.subscribe<orvo_msgs::JointState>("/ros_io_bench/direct_joint_states",
                                                                 100, reply, ros::VoidConstPtr(), hints);
  ros::spin();
  return 0;
}
