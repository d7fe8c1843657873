// Wire images of the orvo_msgs messages: every member at its place, sizes,
// and the way back through the deserializer.
#include <gtest/gtest.h>

#include <orvo_msgs/JointCommand.h>
#include <orvo_msgs/JointDeviceInfo.h>
#include <orvo_msgs/JointState.h>
#include <orvo_msgs/LifecycleEvent.h>
#include <orvo_msgs/Statistics.h>

#include "wire_bytes.h"

using namespace OrvoMsgsTest;

TEST(OrvoMsgsLayout, JointDeviceInfoIsTenBytesAndFourteenWhenPublished) {
  orvo_msgs::JointDeviceInfo info;
  info.filter_active = true;
  info.filter_cutoff_hz = 100.0;
  info.mask = 255;
  const Bytes bytes = serialize(info);
  EXPECT_EQ(bytes, WireBytes().u8(1).f64(100.0).u8(0xFF).bytes());
  ASSERT_EQ(bytes.size(), 10u);

  // A publisher sends the byte count, then the message.
  const ros::SerializedMessage published = ros::serialization::serializeMessage(info);
  ASSERT_EQ(published.num_bytes, 14u);
  EXPECT_EQ(Bytes(published.buf.get(), published.buf.get() + 14),
            WireBytes().u32(10).u8(1).f64(100.0).u8(0xFF).bytes());

  info.filter_active = false;
  info.filter_cutoff_hz = 2.5;
  info.mask = 0x1F;
  const auto back = deserialize<orvo_msgs::JointDeviceInfo>(serialize(info));
  EXPECT_EQ(serialize(info)[0], 0);
  EXPECT_EQ(back, info);
}

TEST(OrvoMsgsLayout, LifecycleEventIsThreeStrings) {
  orvo_msgs::LifecycleEvent event;
  event.plugin_name = "homing";
  event.from_state = "";
  event.to_state = "Running";
  const Bytes bytes = serialize(event);
  EXPECT_EQ(bytes, WireBytes().str("homing").str("").str("Running").bytes());
  EXPECT_EQ(bytes.size(), 12u + 6 + 0 + 7);
  EXPECT_EQ(deserialize<orvo_msgs::LifecycleEvent>(bytes), event);
}

TEST(OrvoMsgsLayout, StatisticsEmptyAndFilled) {
  EXPECT_EQ(serialize(orvo_msgs::Statistics()), Bytes(8, 0));

  orvo_msgs::Statistics stats;
  orvo_msgs::ThreadStatistics thread;
  thread.name = "rt_main";
  thread.hal_sense_time = 1e-5f;
  thread.hal_move_time = 2e-5f;
  thread.task_run_time = 3e-4f;
  thread.total_time = 3.3e-4f;
  thread.period = 1e-3f;
  thread.expected_period = 1e-3f;
  thread.state = "Running";
  stats.thread_stats = {thread, thread};
  stats.thread_stats[1].name = "nrt";
  orvo_msgs::TaskStatistics task;
  task.name = "ros_io";
  task.thread = "nrt";
  task.run_time = 4e-4f;
  task.state = "Stopped";
  stats.task_stats = {task};

  WireBytes expected;
  expected.u32(2);
  for (const auto& t : stats.thread_stats) {
    expected.str(t.name).f32(t.hal_sense_time).f32(t.hal_move_time).f32(t.task_run_time)
        .f32(t.total_time).f32(t.period).f32(t.expected_period).str(t.state);
  }
  expected.u32(1).str("ros_io").str("nrt").f32(4e-4f).str("Stopped");

  const Bytes bytes = serialize(stats);
  EXPECT_EQ(bytes, expected.bytes());
  EXPECT_EQ(bytes.size(), 4u + (32 + 7 + 7) + (32 + 3 + 7) + 4 + (16 + 6 + 3 + 7));
  EXPECT_EQ(deserialize<orvo_msgs::Statistics>(bytes), stats);
}

namespace {

orvo_msgs::JointState two_joint_state() {
  orvo_msgs::JointState s;
  s.header.seq = 7;
  s.header.stamp = ros::Time(12, 345);
  s.header.frame_id = "base";
  s.name = {"hip", "knee_pitch"};
  // Distinct values per array, so that a swapped member shows.
  s.link_position = {1.f, 2.f};
  s.motor_position = {3.f, 4.f};
  s.link_velocity = {5.f, 6.f};
  s.motor_velocity = {7.f, 8.f};
  s.effort = {9.f, 10.f};
  s.temperature_motor = {40, 41};
  s.temperature_driver = {50, 51};
  s.position_reference = {11.f, 12.f};
  s.velocity_reference = {13.f, 14.f};
  s.effort_reference = {15.f, 16.f};
  s.stiffness = {17.f, 18.f};
  s.damping = {19.f, 20.f};
  s.fault = {0, 0x8001};
  s.aux_name = "current";
  s.aux = {21.f, 22.f};
  return s;
}

template <typename T>
void put_floats(WireBytes& w, const std::vector<T>& v) {
  w.u32(static_cast<uint32_t>(v.size()));
  for (T x : v) w.f32(x);
}

void put_u16s(WireBytes& w, const std::vector<uint16_t>& v) {
  w.u32(static_cast<uint32_t>(v.size()));
  for (uint16_t x : v) w.u16(x);
}

}  // namespace

TEST(OrvoMsgsLayout, JointStateMembersInOrder) {
  const orvo_msgs::JointState s = two_joint_state();
  WireBytes w;
  w.header(7, 12, 345, "base").u32(2).str("hip").str("knee_pitch");
  put_floats(w, s.link_position);
  put_floats(w, s.motor_position);
  put_floats(w, s.link_velocity);
  put_floats(w, s.motor_velocity);
  put_floats(w, s.effort);
  put_u16s(w, s.temperature_motor);
  put_u16s(w, s.temperature_driver);
  put_floats(w, s.position_reference);
  put_floats(w, s.velocity_reference);
  put_floats(w, s.effort_reference);
  put_floats(w, s.stiffness);
  put_floats(w, s.damping);
  put_u16s(w, s.fault);
  w.str("current");
  put_floats(w, s.aux);

  const Bytes bytes = serialize(s);
  EXPECT_EQ(bytes, w.bytes());
  const size_t n = 2;
  EXPECT_EQ(bytes.size(), (16 + 4) + (4 + 4 + 3 + 4 + 10) + 10 * (4 + 4 * n) + 3 * (4 + 2 * n) +
                              (4 + 7) + (4 + 4 * n));
  EXPECT_EQ(deserialize<orvo_msgs::JointState>(bytes), s);
}

TEST(OrvoMsgsLayout, JointStateWithoutJointsKeepsHeaderAndEmptyArrays) {
  orvo_msgs::JointState s;
  s.header.seq = 1;
  s.header.frame_id = "w";
  WireBytes w;
  w.header(1, 0, 0, "w").u32(0);  // header, no names
  for (int i = 0; i < 13; ++i) w.u32(0);
  w.str("").u32(0);  // aux_name, aux
  const Bytes bytes = serialize(s);
  EXPECT_EQ(bytes, w.bytes());
  EXPECT_EQ(bytes.size(), 17u + 4 + 14 * 4 + 4);
  const auto back = deserialize<orvo_msgs::JointState>(bytes);
  EXPECT_EQ(back.header.frame_id, "w");
  EXPECT_TRUE(back.name.empty());
}

TEST(OrvoMsgsLayout, JointCommandMembersInOrderAndDampingAsDouble) {
  orvo_msgs::JointCommand cmd;
  cmd.header.seq = 3;
  cmd.name = {"j1", "j2"};
  cmd.position = {0.5f, -0.5f};
  cmd.velocity = {1.f, 2.f};
  cmd.effort = {3.f, 4.f};
  cmd.stiffness = {100.f, 200.f};
  cmd.damping = {0.1, 1.0 / 3.0};  // not representable as float
  cmd.ctrl_mode = {0x03, 0xFF};

  WireBytes w;
  w.header(3, 0, 0, "").u32(2).str("j1").str("j2");
  put_floats(w, cmd.position);
  put_floats(w, cmd.velocity);
  put_floats(w, cmd.effort);
  put_floats(w, cmd.stiffness);
  w.u32(2).f64(0.1).f64(1.0 / 3.0);
  w.u32(2).u8(0x03).u8(0xFF);
  w.str("").u32(0);

  const Bytes bytes = serialize(cmd);
  EXPECT_EQ(bytes, w.bytes());
  const size_t n = 2;
  EXPECT_EQ(bytes.size(),
            12 + 4 + 4 + (4 + 2) * n + 4 * (4 + 4 * n) + (4 + 8 * n) + (4 + n) + 4 + 4);

  const auto back = deserialize<orvo_msgs::JointCommand>(bytes);
  EXPECT_EQ(back.damping[0], 0.1);
  EXPECT_EQ(back.damping[1], 1.0 / 3.0);
  EXPECT_EQ(back.ctrl_mode[1], 0xFF);  // taken as it comes
  EXPECT_EQ(back, cmd);
}

TEST(OrvoMsgsLayout, JointCommandShortArraysAndNoJoints) {
  orvo_msgs::JointCommand cmd;
  cmd.name = {"a", "b", "c"};
  cmd.position = {1.f};  // fewer references than names is valid on the wire
  cmd.ctrl_mode = {1, 1, 0};
  EXPECT_EQ(deserialize<orvo_msgs::JointCommand>(serialize(cmd)), cmd);

  const auto empty = deserialize<orvo_msgs::JointCommand>(serialize(orvo_msgs::JointCommand()));
  EXPECT_TRUE(empty.name.empty());
  EXPECT_TRUE(empty.ctrl_mode.empty());
}

TEST(OrvoMsgsLayout, TruncatedMessagesAreRejected) {
  orvo_msgs::JointCommand cmd;
  cmd.name = {"j1"};
  cmd.damping = {2.0};
  Bytes bytes = serialize(cmd);
  for (size_t cut : {size_t{1}, size_t{5}, bytes.size() / 2}) {
    Bytes part(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(cut));
    orvo_msgs::JointCommand out;
    ros::serialization::IStream stream(part.data(), static_cast<uint32_t>(part.size()));
    EXPECT_THROW(ros::serialization::deserialize(stream, out),
                 ros::serialization::StreamOverrunException)
        << "cut " << cut;
  }

  // An element count larger than the bytes that follow.
  Bytes lying = WireBytes().header(0, 0, 0, "").u32(1000).bytes();
  orvo_msgs::JointState state;
  ros::serialization::IStream stream(lying.data(), static_cast<uint32_t>(lying.size()));
  EXPECT_THROW(ros::serialization::deserialize(stream, state),
               ros::serialization::StreamOverrunException);
}
