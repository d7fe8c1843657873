// The bounded decoding of ros_control's commands: a well-formed command
// decodes as roscpp would, counts beyond the message's bytes (including those
// whose byte count wraps to zero in roscpp's own decoder) and messages over
// the limit are refused before anything is sized.

#include <gtest/gtest.h>

#include <orvo_msgs/JointCommand.h>

#include "checked_subscription_helper.h"

namespace {

std::vector<uint8_t> bytes_of(const orvo_msgs::JointCommand& command) {
  std::vector<uint8_t> bytes(ros::serialization::serializationLength(command));
  ros::serialization::OStream out(bytes.data(), static_cast<uint32_t>(bytes.size()));
  ros::serialization::serialize(out, command);
  return bytes;
}

void put_count(std::vector<uint8_t>& bytes, size_t at, uint32_t count) {
  std::memcpy(&bytes[at], &count, sizeof(count));
}

TEST(CheckedCommandDecoding, WellFormedCommandsDecodeLikeRoscpp) {
  orvo_msgs::JointCommand command;
  command.header.frame_id = "base";
  command.name = {"a", "bc"};
  command.position = {1.0f, 2.0f};
  command.damping = {0.5};
  command.ctrl_mode = {1, 17};
  command.aux_name = "current";
  std::vector<uint8_t> bytes = bytes_of(command);
  orvo_msgs::JointCommand decoded;
  Orvo::CheckedIStream stream(bytes.data(), static_cast<uint32_t>(bytes.size()));
  ros::serialization::deserialize(stream, decoded);
  EXPECT_EQ(decoded, command);
}

TEST(CheckedCommandDecoding, NamesOverTheLimitAreKeptCutAndTheRestDecodes) {
  orvo_msgs::JointCommand command;
  command.name = {std::string(960, 'x'), "elbow", "wrist_yaw"};
  command.position = {1.0f, 2.0f, 3.0f};
  command.aux_name = "current";
  std::vector<uint8_t> bytes = bytes_of(command);
  orvo_msgs::JointCommand decoded;
  Orvo::CheckedIStream stream(bytes.data(), static_cast<uint32_t>(bytes.size()), 1024, 6);
  ros::serialization::deserialize(stream, decoded);
  EXPECT_EQ(decoded.name, (std::vector<std::string>{"xxxxxx", "elbow", "wrist_"}));
  EXPECT_EQ(decoded.position, command.position);
  EXPECT_EQ(decoded.aux_name, "curren");
  EXPECT_EQ(stream.getLength(), 0u);

  // A string that claims more characters than are left is an overrun.
  bytes.resize(16 + 4 + 4 + 100);
  Orvo::CheckedIStream short_stream(bytes.data(), static_cast<uint32_t>(bytes.size()), 1024, 6);
  EXPECT_THROW(ros::serialization::deserialize(short_stream, decoded), ros::serialization::StreamOverrunException);
}

TEST(CheckedCommandDecoding, CountsBeyondTheBytesAreRefusedAndReported) {
  orvo_msgs::JointCommand command;
  command.name = {"wrist_yaw"};
  const std::vector<uint8_t> valid = bytes_of(command);
  // header (16 bytes), one name (4 + 4 + 9), then the position count.
  const size_t names_at = 16;
  const size_t positions_at = names_at + 17;
  const size_t dampings_at = positions_at + 4 * 4;
  for (const auto& [at, count] : std::vector<std::pair<size_t, uint32_t>>{
           {names_at, 0x10000000u}, {positions_at, 0x40000000u}, {positions_at, 0x3FFFFFFFu},
           {dampings_at, 0x20000000u}, {positions_at, 1u}}) {
    std::vector<uint8_t> bytes = valid;
    put_count(bytes, at, count);
    orvo_msgs::JointCommand decoded;
    Orvo::CheckedIStream stream(bytes.data(), static_cast<uint32_t>(bytes.size()));
    EXPECT_THROW(ros::serialization::deserialize(stream, decoded), ros::serialization::StreamOverrunException)
        << count << " at " << at;
  }

  std::vector<std::string> reasons;
  Orvo::CheckedSubscriptionHelper<orvo_msgs::JointCommand> helper(
      [](const orvo_msgs::JointCommand::ConstPtr&) {}, 100,
      [&reasons](const std::string& reason, uint32_t length) {
        reasons.push_back(std::to_string(length) + ": " + reason);
      });
  std::vector<uint8_t> bytes = valid;
  ros::SubscriptionCallbackHelperDeserializeParams params;
  params.buffer = bytes.data();
  params.length = static_cast<uint32_t>(bytes.size());
  EXPECT_NE(helper.deserialize(params), nullptr);
  put_count(bytes, positions_at, 0x40000000u);
  EXPECT_EQ(helper.deserialize(params), nullptr);
  std::vector<uint8_t> long_message(101);
  params.buffer = long_message.data();
  params.length = 101;
  EXPECT_EQ(helper.deserialize(params), nullptr);
  const std::string left = std::to_string(bytes.size() - positions_at - 4);
  EXPECT_EQ(reasons, (std::vector<std::string>{
                         std::to_string(bytes.size()) +
                             ": an array of 1073741824 elements needs at least 4294967296 bytes, " + left +
                             " are left",
                         "101: longer than the 100 bytes allowed"}));
}

}  // namespace
