// The joint master's cycle over dummy joints: aggregated rx, first-rx
// initialisation, the command pipeline's mask and expiry, safety stop and
// recovery, and the URDF limits.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "master_rig.h"
#include "orvo2/context/journal.h"

using namespace Orvo;
using namespace Orvo::test;

namespace {

void expect_command(const joint_tx& tx, float pos, float vel, float tor, float stiffness,
                    float damping) {
  EXPECT_EQ(tx.pos_ref, pos);
  EXPECT_EQ(tx.vel_ref, vel);
  EXPECT_EQ(tx.tor_ref, tor);
  EXPECT_EQ(tx.stiffness, stiffness);
  EXPECT_EQ(tx.damping, damping);
  EXPECT_EQ(tx.mask, 0xFF);
}

const char* const kTxViolation = "'shoulder_yaw' safety limit violation detected in tx (see above) \n";
const char* const kDeltaViolation =
    "'shoulder_yaw' safety limit violation detected in delta tx (see above) \n";

}  // namespace

// First in this file: the process-wide count starts at 0 with its first message.
TEST(JointMasterCycle, AggregatedRxWaitsForEveryJointThenCounts) {
  uint32_t next = 0;
  {
    MasterRig rig(arm_joints(2));
    joint_tx held = command(0.7f, 0, 0, 0xFF);
    held.stiffness = 300.0f;
    held.damping = 5.0f;
    rig.preset(0, held);

    // Joint 2 never senses: nothing is published, both joints are driven.
    for (int k = 0; k < 3; ++k) {
      rig.drivers->get_device_base_vector()[0]->sense();
      EXPECT_FALSE(rig.master->sense());
      rig.master->move();
      rig.drivers->move_all();
    }
    EXPECT_EQ(rig.rx_sub->run(), 0);
    expect_command(rig.sent(0), 0.7f, 0, 0, 300.0f, 5.0f);  // held where its first rx was
    expect_command(rig.sent(1), 0, 0, 0, 0, 0);             // default command until then

    for (int k = 0; k < 3; ++k) {
      EXPECT_TRUE(rig.cycle());
    }
    ASSERT_EQ(rig.received.size(), 3u);
    for (uint32_t k = 0; k < 3; ++k) {
      EXPECT_EQ(rig.received[k].seq, k);
    }
    const auto& msg = rig.received.back();
    ASSERT_EQ(msg.info.size(), 2u);
    ASSERT_EQ(msg.rx.size(), 2u);
    EXPECT_EQ(msg.info[1].name, "shoulder_pitch");
    EXPECT_EQ(msg.info[1].id, 2);
    EXPECT_EQ(msg.rx[0].link_pos, 0.7f);
    EXPECT_EQ(msg.rx[0].stiffness, 300.0f);
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    EXPECT_LT(std::chrono::abs(std::chrono::nanoseconds(msg.stamp) - now), std::chrono::seconds(5));

    // A joint without new data in a cycle keeps its last state in the
    // message, also while the consumer lags and each cycle loans another one.
    rig.received.clear();
    for (int k = 0; k < 6; ++k) {
      rig.drivers->get_device_base_vector()[1]->sense();
      EXPECT_TRUE(rig.master->sense());
      rig.master->move();
      rig.drivers->move_all();
    }
    EXPECT_EQ(rig.rx_sub->run(), 6);
    ASSERT_EQ(rig.received.size(), 6u);
    for (const auto& lagged : rig.received) {
      EXPECT_EQ(lagged.rx[0].link_pos, 0.7f) << "message " << lagged.seq;
      EXPECT_EQ(lagged.rx[0].stiffness, 300.0f) << "message " << lagged.seq;
    }
    next = rig.received.back().seq + 1;
  }
  // A second master in the same process continues the count.
  MasterRig rig(arm_joints(1));
  rig.cycle();
  ASSERT_EQ(rig.received.size(), 1u);
  EXPECT_EQ(rig.received[0].seq, next);
}

TEST(JointMasterCycle, CommandsPassTheMaskAndVelocityAndTorqueExpire) {
  JournalCapture journal;
  MasterRig rig(arm_joints(2), RigOptions{false});
  rig.cycle();
  const auto started = std::chrono::steady_clock::now();
  rig.send({2, 1}, {command(0.5f, 0.3f, 2.0f, 7), command(-0.25f, 1.0f, 1.0f, 1)});
  rig.cycle();
  expect_command(rig.sent(1), 0.5f, 0.3f, 2.0f, 0, 0);
  expect_command(rig.sent(0), -0.25f, 0, 0, 0, 0);  // never-commanded references are expired

  // Entries with mask 0 are skipped, also for unknown ids; a short list is refused whole.
  rig.send({99}, {command(1, 1, 1, 0)});
  Hal::JointMasterTx short_list;
  rig.send({1, 2}, {command(0.1f, 0, 0, 1)});
  rig.cycle();
  EXPECT_EQ(journal.count("aggregated tx from 'rig' refused: 1 commands for 2 joints \n"), 1);
  EXPECT_FALSE(journal.contains("could not find joint"));
  expect_command(rig.sent(0), -0.25f, 0, 0, 0, 0);

  // A client naming an unknown joint every cycle: each message is refused
  // with an error and every pipeline still runs, so the references expire.
  while (std::chrono::steady_clock::now() < started + std::chrono::milliseconds(120)) {
    rig.send({99}, {command(1, 1, 1, 1)});
    rig.cycle();
  }
  EXPECT_TRUE(journal.contains("could not find joint with id = 99, available ids are [1, 2] \n"));
  rig.cycle();
  expect_command(rig.sent(1), 0.5f, 0, 0, 0, 0);
  rig.cycle();
  expect_command(rig.sent(1), 0.5f, 0, 0, 0, 0);

  // Master mask 1: positions only, the velocity deadline is not re-armed.
  bool reply = false;
  ASSERT_TRUE(rig.call<unsigned>("/joint_master/set_mask", 1u, reply));
  rig.send({2}, {command(0.4f, 0.6f, 3.0f, 7)});
  rig.cycle();
  expect_command(rig.sent(1), 0.4f, 0, 0, 0, 0);

  // Mask 0: commands change nothing.
  ASSERT_TRUE(rig.call<unsigned>("/joint_master/set_mask", 0u, reply));
  rig.send({2}, {command(0.3f, 0, 0, 1)});
  rig.cycle();
  expect_command(rig.sent(1), 0.4f, 0, 0, 0, 0);
  EXPECT_EQ(rig.status.back().mask, 0u);
}

TEST(JointMasterCycle, SafetyStopHoldsEveryJointUntilTheMaskIsSetAgain) {
  JournalCapture journal;
  MasterRig rig(arm_joints(2));
  rig.cycle();
  rig.send({1, 2}, {command(0.001f, 0, 0, 1), command(-0.001f, 0, 0, 1)});
  rig.cycle();
  EXPECT_EQ(journal.count(kTxViolation), 0);

  rig.send({1, 2}, {command(0.002f, 0, 90.0f, 5), command(-0.002f, 0, 0, 1)});  // effort limit 80
  rig.cycle();
  EXPECT_EQ(journal.count(kTxViolation), 1);
  EXPECT_EQ(journal.count("safety limits exceeded, disabling joint device \n"), 1);
  EXPECT_EQ(journal.count("joint_master: setting mask to 0 \n"), 1);
  EXPECT_EQ(rig.status.back().mask, 0u);
  expect_command(rig.sent(0), 0.001f, 0, 0, 0, 0);    // skipped the cycle
  expect_command(rig.sent(1), -0.001f, 0, 0, 0, 0);   // reset to its last command

  rig.send({1}, {command(0.002f, 0, 0, 1)});
  rig.cycle();
  expect_command(rig.sent(0), 0.001f, 0, 0, 0, 0);

  bool reply = false;
  ASSERT_TRUE(rig.call<unsigned>("/joint_master/set_mask", 0xFFFFFFFFu, reply));
  EXPECT_TRUE(reply);
  rig.send({1}, {command(0.002f, 0, 0, 1)});
  rig.cycle();
  expect_command(rig.sent(0), 0.002f, 0, 0, 0, 0);

  // A step above the rate limit (2 rad/s at 1 ms: 0.002 per cycle).
  rig.send({1}, {command(0.012f, 0, 0, 1)});
  rig.cycle();
  EXPECT_EQ(journal.count(kDeltaViolation), 1);
  expect_command(rig.sent(0), 0.002f, 0, 0, 0, 0);
  EXPECT_EQ(rig.status.back().mask, 0u);
  rig.cycle();
  EXPECT_EQ(journal.count("safety stop ended after 1 violations \n"), 2);  // both stops above

  // A violation that persists (a velocity held above a lowered limit) is one
  // stop: logged once, and its length when it ends.
  ASSERT_TRUE(rig.call<unsigned>("/joint_master/set_mask", 0xFFFFFFFFu, reply));
  rig.send({1}, {command(0.002f, 1.5f, 0, 3)});
  rig.cycle();
  journal.clear();
  Hal::JointMasterLimits lowered(1);
  lowered.info[0].id = 1;
  lowered.limits[0].max.vel_ref = 1.0f;
  ASSERT_TRUE(rig.call<Hal::JointMasterLimits>("/joint_master/set_limits", lowered, reply));
  for (int k = 0; k < 5; ++k) {
    rig.cycle();
  }
  EXPECT_EQ(journal.count("safety limits exceeded, disabling joint device \n"), 1);
  EXPECT_EQ(journal.count(kTxViolation), 1);
  EXPECT_FALSE(journal.contains("safety stop ended"));
  // A re-arm while it lasts says that it will not hold, and the stop that
  // follows is reported in full.
  ASSERT_TRUE(rig.call<unsigned>("/joint_master/set_mask", 31u, reply));
  rig.cycle();
  EXPECT_TRUE(journal.contains("joint_master: mask 31 set during a safety stop ("));
  EXPECT_EQ(journal.count("safety limits exceeded, disabling joint device \n"), 2);
  EXPECT_EQ(journal.count(kTxViolation), 2);
  EXPECT_EQ(rig.status.back().mask, 0u);
  // It ends when the reference expires (100 ms), limits unchanged.
  std::this_thread::sleep_for(std::chrono::milliseconds(110));
  rig.cycle();
  EXPECT_TRUE(journal.contains("safety stop ended after "));
  EXPECT_EQ(rig.sent(0).vel_ref, 0.0f);
}

TEST(JointMasterCycle, UrdfLimitsAtFullAndHalfScale) {
  JournalCapture journal;
  RigOptions options;
  options.safety = false;
  MasterRig rig(arm_joints(1), options);
  rig.cycle();
  auto violations = [&](const joint_tx& tx) {
    journal.clear();
    rig.send({1}, {tx});
    rig.cycle();
    return std::make_pair(journal.count(kTxViolation), journal.count(kDeltaViolation));
  };
  using Count = std::pair<int, int>;
  EXPECT_EQ(violations(command(0, 1.9f, 79.0f, 6)), Count(0, 0));
  EXPECT_EQ(violations(command(0, 0, 0, 6)), Count(0, 0));
  EXPECT_EQ(violations(command(0.0015f, 0, 0, 1)), Count(0, 0));
  EXPECT_EQ(violations(command(0, 0, -81.0f, 4)), Count(1, 0));
  EXPECT_EQ(journal.count("safety is disabled, skipping.. \n"), 1);
  EXPECT_EQ(rig.sent(0).tor_ref, -81.0f);  // sent all the same
  EXPECT_EQ(violations(command(0, 0, 0, 4)), Count(0, 0));
  EXPECT_EQ(violations(command(2.85f, 0, 0, 1)), Count(0, 1));
  EXPECT_EQ(violations(command(2.95f, 0, 0, 1)), Count(1, 1));

  bool reply = false;
  ASSERT_TRUE(rig.call<double>("/joint_master/set_limits_from_urdf", 0.5, reply));
  EXPECT_TRUE(reply);
  EXPECT_EQ(journal.count("setting safety limits from urdf (scaling = 0.5) \n"), 1);
  EXPECT_EQ(violations(command(2.85f, 0, 0, 1)), Count(0, 1));  // positions are not scaled
  EXPECT_EQ(violations(command(2.8505f, 0, 0, 1)), Count(0, 0));
  EXPECT_EQ(violations(command(2.852f, 0, 0, 1)), Count(0, 1));  // rate 1 rad/s
  EXPECT_EQ(violations(command(2.852f, 0, 39.0f, 4)), Count(0, 0));
  EXPECT_EQ(violations(command(2.852f, 0, 41.0f, 4)), Count(1, 0));
  EXPECT_EQ(violations(command(2.852f, -1.1f, 0, 6)), Count(1, 0));

  for (double bad : {0.0, -1.0, std::nan("")}) {
    ASSERT_TRUE(rig.call<double>("/joint_master/set_limits_from_urdf", bad, reply));
    EXPECT_FALSE(reply);
  }
  EXPECT_EQ(journal.count("invalid urdf limits scaling requested (-1) \n"), 1);
  EXPECT_EQ(violations(command(2.852f, 0, 39.0f, 6)), Count(0, 0));  // limits unchanged
  EXPECT_EQ(violations(command(2.852f, 0, 41.0f, 6)), Count(1, 0));
}
