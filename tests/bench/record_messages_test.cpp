// The hand-written ROS serializer of the benchmark's record messages: the
// bytes on the wire are the records themselves, and a received block whose
// count runs past its bytes is refused instead of read beyond the buffer.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "record_messages.h"

namespace {

using OrvoBench::JointRxBlock;
using OrvoBench::JointRxMessage;
using OrvoBench::JointTxBlock;

TEST(RecordMessages, RecordsTravelAsTheirBytes) {
  JointRxMessage single;
  single.record.link_pos = 1.5f;
  single.record.damping = -2.0f;
  const ros::SerializedMessage wire = ros::serialization::serializeMessage(single);
  ASSERT_EQ(wire.num_bytes, 4u + sizeof(Orvo::Hal::joint_rx));  // length prefix + record
  EXPECT_EQ(std::memcmp(wire.message_start, &single.record, sizeof(single.record)), 0);

  JointTxBlock block;
  block.records.resize(30);
  for (size_t i = 0; i < block.records.size(); ++i) {
    block.records[i].pos_ref = static_cast<float>(i);
    block.records[i].mask = static_cast<uint8_t>(i);
  }
  const ros::SerializedMessage sent = ros::serialization::serializeMessage(block);
  JointTxBlock received;
  ros::serialization::IStream in(sent.message_start, static_cast<uint32_t>(sent.num_bytes - 4));
  ros::serialization::deserialize(in, received);
  ASSERT_EQ(received.records.size(), 30u);
  for (size_t i = 0; i < 30; ++i) {
    EXPECT_EQ(received.records[i].pos_ref, static_cast<float>(i));
    EXPECT_EQ(received.records[i].mask, i);
  }
}

TEST(RecordMessages, ABlockCountBeyondItsBytesIsRefused) {
  JointRxBlock block;
  block.records.resize(2);
  ros::SerializedMessage sent = ros::serialization::serializeMessage(block);
  const uint32_t lie = 1000000;  // far more records than the bytes hold
  std::memcpy(sent.message_start, &lie, sizeof(lie));
  JointRxBlock received;
  ros::serialization::IStream in(sent.message_start, static_cast<uint32_t>(sent.num_bytes - 4));
  EXPECT_THROW(ros::serialization::deserialize(in, received), ros::serialization::StreamOverrunException);
  EXPECT_TRUE(received.records.empty());

  // A block of zero records is valid.
  JointRxBlock empty;
  ros::SerializedMessage none = ros::serialization::serializeMessage(empty);
  ros::serialization::IStream in_none(none.message_start, static_cast<uint32_t>(none.num_bytes - 4));
  ros::serialization::deserialize(in_none, received);
  EXPECT_TRUE(received.records.empty());
}

}  // namespace
