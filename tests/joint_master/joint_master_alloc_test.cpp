// The joint master's cycle allocates nothing once warmed up: filter on,
// commands every cycle (now and then one for an unknown joint), a consumer of
// the aggregated rx and the status.
#include <gtest/gtest.h>

#include "alloc_counter.h"
#include "command_stream.h"
#include "master_rig.h"

using namespace Orvo;
using namespace Orvo::test;

TEST(JointMasterAllocations, SteadyCycleWithTheFilterOnAllocatesNothing) {
  Context().paramManager().setParam("/jm/period", std::chrono::nanoseconds(1000000));
  MasterRig rig(arm_joints(10), RigOptions{true, true, true});
  rig.keep_messages = false;
  int k = 0;
  for (; k < 200; ++k) {
    publish_ramp(*rig.tx_pub, 10, k);
    rig.cycle();
  }
  ASSERT_TRUE(rig.last_status.tx_filter_enabled);
  ASSERT_EQ(rig.last_status.mask, 0xFFFFFFFFu);
  const int published = rig.rx_count;
  AllocCounter counter;
  for (; k < 1200; ++k) {
    publish_ramp(*rig.tx_pub, 10, k, k % 250 == 0);  // now and then an unknown joint, logged
    rig.cycle();
  }
  const size_t allocations = counter.count();
  EXPECT_EQ(allocations, 0u);
  EXPECT_EQ(rig.rx_count - published, 1000);
  EXPECT_EQ(rig.last_rx_joints, 10u);  // also in loans the consumer's subscription added
  EXPECT_EQ(rig.last_status.mask, 0xFFFFFFFFu) << "no limit may have tripped";
  EXPECT_NEAR(rig.sent(9).tor_ref, 0.1f, 1e-6);
}

// A subscription made before the master brings empty messages to the pool.
// The master gives each the joint list at set-up, so that a consumer falling
// behind, which makes the master loan messages it never used before, costs
// the cycle no allocation.
TEST(JointMasterAllocations, AConsumerMadeBeforeTheMasterFallingBehindCostsNoAllocation) {
  Context().paramManager().setParam("/jm/period", std::chrono::nanoseconds(1000000));
  auto early = Context().topicManager().subscribe<Hal::JointMasterRx>(
      Hal::DeviceRt::RxTopicName("joint_master", "all_joints"), [](const Hal::JointMasterRx&) {}, nullptr, 5,
      "early");
  MasterRig rig(arm_joints(10), RigOptions{true, true, true});
  rig.keep_messages = false;
  int k = 0;
  for (; k < 200; ++k) {
    publish_ramp(*rig.tx_pub, 10, k);
    rig.cycle();
    early->run();
  }
  AllocCounter counter;
  for (; k < 220; ++k) {
    publish_ramp(*rig.tx_pub, 10, k);
    rig.cycle();
  }
  const size_t allocations = counter.count();
  EXPECT_EQ(allocations, 0u);
  EXPECT_EQ(rig.last_rx_joints, 10u);
}
