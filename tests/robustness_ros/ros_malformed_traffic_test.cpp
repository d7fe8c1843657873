// Malformed ROS traffic from raw TCP clients against orvocore running the
// bridge: broken connection headers, service requests whose lengths lie,
// random bytes, and garbage on the node's XML-RPC port. After each attack
// orvocore is alive, the robot keeps cycling with intact joint states, and
// well-formed calls are still answered.

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <random>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>
#include <ros/node_handle.h>
#include <ros/publisher.h>

#include <orvo_msgs/GetPluginList.h>
#include <orvo_msgs/JointCommand.h>
#include <orvo_msgs/JointState.h>
#include <orvo_msgs/PluginStatus.h>
#include <orvo_msgs/SetControlMask.h>
#include <std_msgs/String.h>

#include "raw_publisher.h"
#include "raw_tcpros.h"
#include "robot_under_test.h"
#include "wait_until.h"

namespace {

using namespace std::chrono_literals;
using OrvoTest::framed;
using OrvoTest::HeaderFields;
using OrvoTest::header_fields;
using OrvoTest::le32;
using OrvoTest::RawConnection;
using OrvoTest::RobotUnderTest;

const std::string kMaskService = "/orvocore/joint_master/set_control_mask";

// A memory figure of orvocore in kB: "VmRSS" (resident now) or "VmHWM" (peak).
long memory_kb(pid_t pid, const std::string& figure = "VmRSS") {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(figure + ":", 0) == 0) {
      return std::stol(line.substr(figure.size() + 1));
    }
  }
  return -1;
}

// The number of files (sockets included) orvocore has open.
size_t open_file_count(pid_t pid) {
  const std::filesystem::path fds = "/proc/" + std::to_string(pid) + "/fd";
  return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(fds),
                                           std::filesystem::directory_iterator()));
}

HeaderFields service_header(const std::string& service, const std::string& md5sum) {
  return {{"callerid", "/raw_client"}, {"service", service}, {"md5sum", md5sum}};
}

template <typename Message>
std::string serialized(const Message& message) {
  std::string bytes(ros::serialization::serializationLength(message), '\0');
  ros::serialization::OStream out(reinterpret_cast<uint8_t*>(&bytes[0]), static_cast<uint32_t>(bytes.size()));
  ros::serialization::serialize(out, message);
  return bytes;
}

// The start of a JointCommand on the wire: its header (sequence, stamp,
// empty frame).
std::string command_start() { return le32(0) + le32(0) + le32(0) + le32(0); }

class MalformedRosTraffic : public ::testing::Test {
protected:
  static void SetUpTestSuite() { robot = std::make_unique<RobotUnderTest>("ros_malformed"); }
  // A set-up that threw left no robot: gtest has reported its error and
  // skipped the tests, there is nothing to stop.
  static void TearDownTestSuite() {
    if (!robot) {
      return;
    }
    EXPECT_EQ(robot->stop_core(), 0) << robot->core().output();
    robot.reset();
  }

  RawConnection connect() { return RawConnection(robot->bridge_port(), 5s); }

  // A connection to the mask service whose header was accepted.
  std::unique_ptr<RawConnection> mask_service_connection() {
    auto connection = std::make_unique<RawConnection>(robot->bridge_port(), 5s);
    std::string reply;
    const bool accepted =
        connection->send(framed(header_fields(
            service_header(kMaskService, ros::service_traits::md5sum<orvo_msgs::SetControlMask>())))) &&
        connection->read_block(reply) && OrvoTest::parse_header(reply).count("error") == 0;
    return accepted ? std::move(connection) : nullptr;
  }

  // The robot goes on after `attack`: orvocore runs, joint states and
  // statistics keep coming and stay intact, and well-formed calls that need
  // the bridge's and the hardware thread's cycles are answered.
  void expect_robot_unharmed(const std::string& attack) {
    ASSERT_TRUE(robot->core().running()) << attack << "\n" << robot->core().output();
    const OrvoTest::RobotFigures before = robot->monitor().figures();
    std::this_thread::sleep_for(1s);
    const OrvoTest::RobotFigures after = robot->monitor().figures();
    EXPECT_GE(after.joint_states - before.joint_states, 300u) << attack;
    EXPECT_GE(after.statistics - before.statistics, 30u) << attack;
    EXPECT_EQ(after.broken_joint_states, 0u) << attack << ": " << after.first_broken;

    std::string error;
    orvo_msgs::GetPluginList::Request list_request;
    orvo_msgs::GetPluginList::Response list;
    EXPECT_TRUE(OrvoTest::raw_service_call<orvo_msgs::GetPluginList>(
        robot->bridge_port(), "/orvocore/get_plugin_list", list_request, list, error))
        << attack << ": " << error;
    EXPECT_EQ(list.plugins, (std::vector<std::string>{"ros_io", "commander", "ros_control"})) << attack;
    orvo_msgs::SetControlMask::Request mask_request;
    mask_request.mask = 255;
    orvo_msgs::SetControlMask::Response mask;
    EXPECT_TRUE(OrvoTest::raw_service_call<orvo_msgs::SetControlMask>(robot->bridge_port(), kMaskService,
                                                                      mask_request, mask, error))
        << attack << ": " << error;
    EXPECT_TRUE(mask.success) << attack;
    EXPECT_EQ(mask.message, "Succesfully set control mask to 255 for joint master") << attack;
  }

  static std::unique_ptr<RobotUnderTest> robot;
};

std::unique_ptr<RobotUnderTest> MalformedRosTraffic::robot;

TEST_F(MalformedRosTraffic, BrokenConnectionHeadersAreDroppedOrLeftWaiting) {
  const std::string md5 = ros::service_traits::md5sum<orvo_msgs::SetControlMask>();
  const std::string valid = header_fields(service_header(kMaskService, md5));
  const size_t open_files = open_file_count(robot->core().pid());
  // Headers that cannot be read: orvocore closes the connection.
  const std::vector<std::pair<std::string, std::string>> dropped = {
      {"length beyond a gigabyte", le32(0xFFFFFFFFu) + valid},
      {"length just above a gigabyte", le32(1000000001u) + valid},
      {"field without '='", framed(framed("callerid/raw_client") + valid)},
      {"service without md5sum",
       framed(header_fields({{"callerid", "/raw_client"}, {"service", kMaskService}}))},
      {"service without callerid", framed(header_fields({{"service", kMaskService}, {"md5sum", md5}}))},
  };
  for (const auto& [attack, bytes] : dropped) {
    RawConnection connection = connect();
    ASSERT_TRUE(connection.send(bytes)) << attack;
    EXPECT_TRUE(connection.closed_by_peer()) << attack;
  }
  // Headers that end early, are empty, or name neither a topic nor a
  // service: roscpp keeps the connection until the client goes. Held all at
  // once, they cost the robot nothing; closed, they leave nothing behind.
  const std::vector<std::string> waiting = {
      std::string("\x20\x00", 2),
      le32(100) + valid.substr(0, 10),
      le32(0),
      framed(le32(1000) + "callerid=/raw_client"),
      framed(header_fields({{"callerid", "/raw_client"}})),
  };
  std::vector<std::unique_ptr<RawConnection>> held;
  for (int round = 0; round < 20; ++round) {
    for (const std::string& bytes : waiting) {
      held.push_back(std::make_unique<RawConnection>(robot->bridge_port(), 5s));
      ASSERT_TRUE(held.back()->send(bytes));
    }
  }
  expect_robot_unharmed("100 connections with broken headers held open");
  held.clear();
  EXPECT_TRUE(OrvoTest::wait_until(
      [&] { return open_file_count(robot->core().pid()) <= open_files + 2; }, 10s, OrvoTest::kProcessPoll))
      << open_file_count(robot->core().pid()) << " files open, " << open_files << " before";
  expect_robot_unharmed("broken connection headers");
}

TEST_F(MalformedRosTraffic, HeadersClaimingHugeLengthsCostNoMemory) {
  // Lengths up to a gigabyte are taken at their word and the rest is waited
  // for; what must not happen is that the memory is touched or the robot
  // stalls while such connections hang.
  const long rss_before = memory_kb(robot->core().pid());
  std::vector<std::unique_ptr<RawConnection>> pending;
  for (int i = 0; i < 8; ++i) {
    pending.push_back(std::make_unique<RawConnection>(robot->bridge_port(), 5s));
    ASSERT_TRUE(pending.back()->send(le32(999999999u) + "callerid=/raw_client"));
  }
  for (int i = 0; i < 8; ++i) {
    std::unique_ptr<RawConnection> connection = mask_service_connection();
    ASSERT_NE(connection, nullptr);
    ASSERT_TRUE(connection->send(le32(999999999u) + "\x07"));
    pending.push_back(std::move(connection));
  }
  expect_robot_unharmed("connections announcing a gigabyte each");
  const long growth = memory_kb(robot->core().pid()) - rss_before;
  std::cout << "16 connections announcing 1 GB each: orvocore's resident memory grew by " << growth
            << " kB\n";
  EXPECT_LT(growth, 64 * 1024);
  pending.clear();
  expect_robot_unharmed("connections announcing a gigabyte each, closed");
}

TEST_F(MalformedRosTraffic, WrongMd5TypeOrNameIsRefusedWithAnError) {
  const std::string joint_state_md5 = ros::message_traits::md5sum<orvo_msgs::JointState>();
  const std::vector<std::pair<std::string, HeaderFields>> refused = {
      {"service md5sum wrong", service_header(kMaskService, "0123456789abcdef0123456789abcdef")},
      {"service md5sum of another type",
       service_header(kMaskService, ros::service_traits::md5sum<orvo_msgs::PluginStatus>())},
      {"unknown service", service_header("/orvocore/no_such_service",
                                         ros::service_traits::md5sum<orvo_msgs::SetControlMask>())},
      {"topic of another type",
       {{"callerid", "/raw_client"},
        {"topic", "/orvocore/joint_states"},
        {"md5sum", ros::message_traits::md5sum<std_msgs::String>()},
        {"type", "std_msgs/String"}}},
      {"topic md5sum wrong",
       {{"callerid", "/raw_client"},
        {"topic", "/orvocore/joint_states"},
        {"md5sum", "0123456789abcdef0123456789abcdef"},
        {"type", "orvo_msgs/JointState"}}},
      {"topic not published",
       {{"callerid", "/raw_client"},
        {"topic", "/orvocore/no_such_topic"},
        {"md5sum", joint_state_md5},
        {"type", "orvo_msgs/JointState"}}},
  };
  for (const auto& [attack, fields] : refused) {
    RawConnection connection = connect();
    ASSERT_TRUE(connection.send(framed(header_fields(fields)))) << attack;
    std::string reply;
    ASSERT_TRUE(connection.read_block(reply)) << attack;
    EXPECT_EQ(OrvoTest::parse_header(reply).count("error"), 1u) << attack << ": " << reply;
    EXPECT_TRUE(connection.closed_by_peer()) << attack;
  }
  expect_robot_unharmed("wrong md5sums, types and names");
}

TEST_F(MalformedRosTraffic, ServiceRequestsWhoseLengthsLieAreRefused) {
  // Short of its field: roscpp answers the call as failed and goes on.
  {
    std::unique_ptr<RawConnection> connection = mask_service_connection();
    ASSERT_NE(connection, nullptr);
    ASSERT_TRUE(connection->send(framed("")));
    std::string ok;
    std::string reply;
    ASSERT_TRUE(connection->read_exactly(1, ok));
    EXPECT_EQ(ok[0], 0);
    EXPECT_TRUE(connection->read_block(reply));
  }
  // A length beyond what roscpp accepts: the connection is dropped.
  {
    std::unique_ptr<RawConnection> connection = mask_service_connection();
    ASSERT_NE(connection, nullptr);
    ASSERT_TRUE(connection->send(le32(0xFFFFFFFFu) + "\x07"));
    EXPECT_TRUE(connection->closed_by_peer());
  }
  // A length beyond the bytes sent, then the client goes away.
  {
    std::unique_ptr<RawConnection> connection = mask_service_connection();
    ASSERT_NE(connection, nullptr);
    ASSERT_TRUE(connection->send(le32(100) + "\x07\x07\x07"));
  }
  // No request of the bridge has a variable-length field: a count that
  // claims four billion elements is never read, the call is answered.
  {
    RawConnection connection = connect();
    ASSERT_TRUE(connection.send(framed(header_fields(service_header(
        "/orvocore/get_plugin_list", ros::service_traits::md5sum<orvo_msgs::GetPluginList>())))));
    std::string header;
    ASSERT_TRUE(connection.read_block(header));
    ASSERT_TRUE(connection.send(framed(le32(0xFFFFFFF0u) + "plugins")));
    std::string ok;
    std::string reply;
    ASSERT_TRUE(connection.read_exactly(1, ok));
    EXPECT_EQ(ok[0], 1);
    EXPECT_TRUE(connection.read_block(reply));
  }
  expect_robot_unharmed("service requests whose lengths lie");
}

TEST_F(MalformedRosTraffic, RandomBytesAreSurvived) {
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> byte(0, 255);
  std::uniform_int_distribution<int> size(1, 4096);
  const auto noise = [&](size_t count) {
    std::string bytes(count, '\0');
    for (char& c : bytes) {
      c = static_cast<char>(byte(random));
    }
    return bytes;
  };
  const std::string md5 = ros::service_traits::md5sum<orvo_msgs::SetControlMask>();
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  int connections = 0;
  for (; connections < 300 && std::chrono::steady_clock::now() < deadline; ++connections) {
    RawConnection connection = connect();
    switch (connections % 3) {
      case 0:  // noise in place of the connection header
        connection.send(noise(static_cast<size_t>(size(random))));
        break;
      case 1: {  // noise inside a well-framed header
        const std::string body = noise(static_cast<size_t>(size(random)));
        connection.send(framed(framed(body)));
        break;
      }
      default: {  // a valid header, then noise as the request, framed or not
        connection.send(framed(header_fields(service_header(kMaskService, md5))));
        const std::string body = noise(static_cast<size_t>(size(random)));
        connection.send(connections % 2 == 0 ? framed(body) : body);
        break;
      }
    }
  }
  EXPECT_EQ(connections, 300);
  expect_robot_unharmed("random bytes");
}

TEST_F(MalformedRosTraffic, GarbageOnTheXmlRpcPortIsSurvived) {
  const int port = OrvoTest::node_xmlrpc_port("/orvocore");
  ASSERT_GT(port, 0);
  const auto http = [](const std::string& length, const std::string& body) {
    return "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: text/xml\r\nContent-length: " + length +
           "\r\n\r\n" + body;
  };
  const std::string get_pid =
      "<?xml version=\"1.0\"?><methodCall><methodName>getPid</methodName><params><param><value>"
      "<string>/raw_client</string></value></param></params></methodCall>";
  const std::string wrong_type =
      "<?xml version=\"1.0\"?><methodCall><methodName>getPid</methodName><params>"
      "<param><value><i4>x</i4></value></param></params></methodCall>";
  std::mt19937 random(7);
  std::string noise(4096, '\0');
  for (char& c : noise) {
    c = static_cast<char>(random());
  }
  const std::vector<std::pair<std::string, std::string>> attacks = {
      {"random bytes", noise},
      {"negative length", http("-5", get_pid)},
      {"length beyond the body", http("100000000", get_pid)},
      {"unclosed elements", http(std::to_string(40), get_pid.substr(0, 40))},
      {"unknown method", http(std::to_string(get_pid.size()),
                              std::string(get_pid).replace(get_pid.find("getPid"), 6, "noSuchOne"))},
      {"parameter of the wrong type", http(std::to_string(wrong_type.size()), wrong_type)},
  };
  for (const auto& [attack, bytes] : attacks) {
    RawConnection connection(port, 1s);
    ASSERT_TRUE(connection.send(bytes)) << attack;
    connection.closed_by_peer();
  }
  // The node still answers: getPid gives orvocore's process id.
  RawConnection connection(port, 5s);
  ASSERT_TRUE(connection.send(http(std::to_string(get_pid.size()), get_pid)));
  std::string reply;
  std::string next;
  while (reply.find("</methodResponse>") == std::string::npos && connection.read_exactly(1, next)) {
    reply += next;
  }
  EXPECT_NE(reply.find("<i4>" + std::to_string(robot->core().pid()) + "</i4>"), std::string::npos) << reply;
  expect_robot_unharmed("garbage on the XML-RPC port");
}

TEST_F(MalformedRosTraffic, CommandTopicTrafficIsRefusedWithoutHarm) {
  const int node_port = OrvoTest::node_xmlrpc_port("/orvocore");
  ASSERT_GT(node_port, 0);
  OrvoTest::RawPublisher publisher;
  const std::string topic = "/orvocore/command";
  const HeaderFields valid = {{"callerid", "/raw_publisher"},
                              {"topic", topic},
                              {"type", "orvo_msgs/JointCommand"},
                              {"md5sum", ros::message_traits::md5sum<orvo_msgs::JointCommand>()}};
  // orvocore subscribes to the raw publisher and gets `reply` as its header.
  // (orvocore retries the links it dropped: a connection that is not the
  // new one's is passed over.)
  const auto subscribed = [&](const std::string& reply) -> std::unique_ptr<RawConnection> {
    for (int attempt = 0; attempt < 3; ++attempt) {
      std::string header;
      std::unique_ptr<RawConnection> connection;
      if (publisher.announce(node_port, topic)) {
        connection = publisher.accept(header, 5s);
      }
      if (connection != nullptr && OrvoTest::parse_header(header)["topic"] == topic &&
          connection->send(reply)) {
        return connection;
      }
    }
    return nullptr;
  };
  const long peak_before = memory_kb(robot->core().pid(), "VmHWM");

  // Publisher headers that are broken: orvocore drops them. One of another
  // type is taken (roscpp leaves the type check to the publisher's side), so
  // its messages meet the command decoder.
  HeaderFields wrong_type = valid;
  wrong_type[2].second = "std_msgs/String";
  wrong_type[3].second = ros::message_traits::md5sum<std_msgs::String>();
  const std::vector<std::pair<std::string, std::string>> headers = {
      {"header with an error", framed(header_fields({{"error", "refused"}}))},
      {"header without md5sum", framed(header_fields({{"callerid", "/raw_publisher"}}))},
      {"header field longer than the header", framed(le32(1000) + "callerid=/raw_publisher")},
      {"header length beyond a gigabyte", le32(0xFFFFFFFFu) + header_fields(valid)},
  };
  for (const auto& [attack, reply] : headers) {
    std::unique_ptr<RawConnection> connection = subscribed(reply);
    ASSERT_NE(connection, nullptr) << attack;
    EXPECT_TRUE(connection->closed_by_peer()) << attack;
  }
  {
    std::unique_ptr<RawConnection> connection = subscribed(framed(header_fields(wrong_type)));
    ASSERT_NE(connection, nullptr);
    std_msgs::String text;
    text.data = "not a joint command";
    ASSERT_TRUE(connection->send(framed(serialized(text))));
    std::this_thread::sleep_for(100ms);
  }

  // Messages whose lengths or counts lie, then random bytes: each refused
  // before anything is sized from it.
  const std::string wrist = le32(1) + framed("wrist_yaw");
  const std::vector<std::pair<std::string, std::string>> messages = {
      {"message length beyond a gigabyte", le32(0xFFFFFFFFu) + command_start()},
      {"268 million joint names", framed(command_start() + le32(0x10000000u))},
      {"positions whose byte count wraps to zero", framed(command_start() + wrist + le32(0x40000000u))},
      {"positions of almost 4 GB", framed(command_start() + wrist + le32(0x3FFFFFFFu) + le32(0))},
      {"dampings whose byte count wraps to zero",
       framed(command_start() + le32(0) + le32(0) + le32(0) + le32(0) + le32(0) + le32(0x20000000u))},
      {"message longer than its bytes", le32(1000) + command_start() + wrist},
  };
  for (const auto& [attack, bytes] : messages) {
    std::unique_ptr<RawConnection> connection = subscribed(framed(header_fields(valid)));
    ASSERT_NE(connection, nullptr) << attack;
    ASSERT_TRUE(connection->send(bytes)) << attack;
    std::this_thread::sleep_for(100ms);
    ASSERT_TRUE(robot->core().running()) << attack << "\n" << robot->core().output();
  }
  std::mt19937 random(99);
  std::unique_ptr<RawConnection> noisy = subscribed(framed(header_fields(valid)));
  ASSERT_NE(noisy, nullptr);
  for (int i = 0; i < 200; ++i) {
    std::string body(static_cast<size_t>(random() % 512), '\0');
    for (char& c : body) {
      c = static_cast<char>(random());
    }
    ASSERT_TRUE(noisy->send(framed(i % 2 == 0 ? body : command_start() + body)));
  }
  expect_robot_unharmed("malformed command traffic");
  const long peak_growth = memory_kb(robot->core().pid(), "VmHWM") - peak_before;
  std::cout << "malformed command traffic: orvocore's peak resident memory grew by " << peak_growth
            << " kB\n";
  EXPECT_LT(peak_growth, 64 * 1024);
  EXPECT_NE(robot->core().output().find("command message of "), std::string::npos);

  // A well-formed command from a regular publisher still goes through: an
  // effort on the last joint, which its dummy device echoes (the position
  // path goes on unharmed).
  noisy.reset();
  ASSERT_TRUE(publisher.announce(node_port, topic, true));
  ros::NodeHandle node;
  ros::Publisher commands = node.advertise<orvo_msgs::JointCommand>(topic, 10);
  ASSERT_TRUE(OrvoTest::wait_until([&] { return commands.getNumSubscribers() > 0; }, 10s, OrvoTest::kProcessPoll));
  robot->monitor().reset();
  orvo_msgs::JointCommand command;
  command.name = {"wrist_yaw"};
  command.effort = {1.5f};
  command.ctrl_mode = {4};
  EXPECT_TRUE(OrvoTest::wait_until(
      [&] {
        commands.publish(command);
        const OrvoTest::RobotFigures figures = robot->monitor().figures();
        return !figures.peak_effort.empty() && figures.peak_effort.back() == 1.5f;
      },
      5s, OrvoTest::kProcessPoll));
  expect_robot_unharmed("a well-formed command after malformed ones");
}

// Any ROS peer may send commands of unknown names: 1 MiB ones of 200,000
// names at 5 Hz, then ones of a thousand names at 100 Hz. The command
// input's 1 kHz thread keeps its period and tells at most one line per message.
TEST_F(MalformedRosTraffic, FloodsOfUnknownJointNamesKeepTheControlCycle) {
  OrvoTest::RobotMonitor control("ctrl_thread", RobotUnderTest::joints());
  ros::NodeHandle node;
  ros::Publisher commands = node.advertise<orvo_msgs::JointCommand>("/orvocore/command", 50);
  ASSERT_TRUE(OrvoTest::wait_until([&] { return commands.getNumSubscribers() > 0; }, 10s, OrvoTest::kProcessPoll));
  const auto unknown_names = [](size_t count) {
    orvo_msgs::JointCommand command;
    command.name.assign(count, "x");
    return command;
  };
  const orvo_msgs::JointCommand huge = unknown_names(200000);
  ASSERT_LT(ros::serialization::serializationLength(huge), 1u << 20);
  const orvo_msgs::JointCommand large = unknown_names(1000);
  const size_t log_before = robot->core().output().size();
  control.reset();

  for (int i = 0; i < 20; ++i) {
    commands.publish(huge);
    std::this_thread::sleep_for(200ms);
  }
  for (int i = 0; i < 200; ++i) {
    commands.publish(large);
    std::this_thread::sleep_for(10ms);
  }
  std::this_thread::sleep_for(500ms);

  std::vector<float> periods = control.figures().periods;
  ASSERT_GE(periods.size(), 100u);
  std::sort(periods.begin(), periods.end());
  const float median = periods[periods.size() / 2];
  const size_t log_growth = robot->core().output().size() - log_before;
  std::cout << "unknown-name flood: ctrl_thread period median " << median * 1e3 << " ms, max "
            << periods.back() * 1e3 << " ms; orvocore's log grew by " << log_growth << " bytes\n";
  EXPECT_LT(median, 0.002f);
  EXPECT_LT(periods.back(), 0.1f);
  EXPECT_LT(log_growth, 100u * 1024u);
  EXPECT_NE(robot->core().output().find("an array of 200000 elements, more than the 1024 allowed"),
            std::string::npos);
  expect_robot_unharmed("floods of unknown joint names");
}

}  // namespace
