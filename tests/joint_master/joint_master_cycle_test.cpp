// The joint master's cycle over dummy joints: aggregated rx, first-rx
// initialisation, the command pipeline's mask and expiry, safety stop and
// recovery, the URDF limits, and a new server of a joint type.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "master_rig.h"
#include "orvo2/clock/simulated_clock.h"
#include "orvo2/context/journal.h"
#include "orvo2/devices/device_server.h"

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
  // At most one line a second, the next one with the count of those refused meanwhile.
  EXPECT_EQ(journal.count("could not find joint with id = 99, available ids are [1, 2] \n"), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  rig.send({99}, {command(1, 1, 1, 1)});
  rig.cycle();
  EXPECT_TRUE(journal.contains("could not find joint with id = 99, available ids are [1, 2] ("));
  EXPECT_TRUE(journal.contains(" more commands for unknown joints refused since the last line) \n"));
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
  // stop: logged once, and its length when it ends. Its reference expires on
  // a clock that stands still until it is moved on, however slowly the steps
  // below run on a busy machine.
  using Orvo::chrono::simulated_clock;
  int64_t sim_now = 1000000000;
  simulated_clock::enable_sim_time(true);
  simulated_clock::set_time(std::chrono::nanoseconds(sim_now));
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
  // Another joint that violates a limit meanwhile is logged, once.
  Hal::JointMasterLimits second(1);
  second.info[0].id = 2;
  second.limits[0].min.tor_ref = 1.0f;
  ASSERT_TRUE(rig.call<Hal::JointMasterLimits>("/joint_master/set_limits", second, reply));
  for (int k = 0; k < 5; ++k) {
    rig.cycle();
  }
  EXPECT_EQ(journal.count("'shoulder_pitch' safety limit violation detected in tx (see above) \n"), 1);
  EXPECT_EQ(journal.count(kTxViolation), 1);
  second.limits[0] = Hal::joint_tx_limits();
  ASSERT_TRUE(rig.call<Hal::JointMasterLimits>("/joint_master/set_limits", second, reply));
  // A re-arm while it lasts says that it will not hold, and the stop that
  // follows is reported in full.
  ASSERT_TRUE(rig.call<unsigned>("/joint_master/set_mask", 31u, reply));
  rig.cycle();
  EXPECT_TRUE(journal.contains("joint_master: mask 31 set during a safety stop ("));
  EXPECT_EQ(journal.count("safety limits exceeded, disabling joint device \n"), 2);
  EXPECT_EQ(journal.count(kTxViolation), 2);
  EXPECT_EQ(rig.status.back().mask, 0u);
  // It ends when the reference expires (100 ms), limits unchanged.
  simulated_clock::set_time(std::chrono::nanoseconds(sim_now + 110000000));
  rig.cycle();
  simulated_clock::enable_sim_time(false);
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

// Last in this file: it switches the process to the simulated clock.
// A joint type whose records come from another server (a restarted
// simulator starts its joints from its model again): the joints resume from
// the new server's state through the filter and the rate limit, and no state
// goes out under a stamp of the clock as it stood for the old server.
TEST(JointMasterCycle, ANewServerIsMetAsTheFirstOne) {
  using Orvo::chrono::simulated_clock;
  const int64_t ms = 1000000;
  int64_t sim_now = 9800 * ms;
  simulated_clock::enable_sim_time(true);
  simulated_clock::set_time(std::chrono::nanoseconds(sim_now));
  Context().paramManager().setParam("/jm/period", std::chrono::nanoseconds(ms));
  RigOptions options;
  options.autostart = true;
  options.cutoff = 1.0;
  MasterRig rig(arm_joints(1), options);  // shoulder_yaw: 2 rad/s
  rig.keep_messages = false;
  auto notices = Context().topicManager().advertise<Hal::DeviceServer>(
      Hal::ServerTopicName("joint_dummy"), Hal::DeviceServer{}, "probe");
  const auto announce = [&notices](uint64_t generation) {
    auto loan = notices->loanMessage();
    ASSERT_TRUE(loan);
    loan->value().generation = generation;
    notices->publishLoaned(std::move(loan));
  };
  const auto hold = [&](int cycles, bool tick) {
    for (int k = 0; k < cycles; ++k) {
      rig.send({1}, {command(0.8f, 0, 0, 1)});
      rig.cycle();
      if (tick) {
        simulated_clock::set_time(std::chrono::nanoseconds(sim_now += ms));
      }
    }
  };
  announce(1);
  hold(5000, true);
  ASSERT_TRUE(rig.last_status.tx_filter_enabled);
  ASSERT_EQ(rig.sent(0).pos_ref, 0.8f);

  // The simulator is gone: its clock stands still, nothing is published.
  const int published = rig.rx_count;
  announce(0);
  hold(3, false);
  EXPECT_EQ(rig.rx_count, published);

  // A new one at 0 delivers its first state before its clock reaches this process.
  rig.preset(0, command(0, 0, 0, 0xFF));
  announce(2);
  hold(1, false);
  EXPECT_EQ(rig.rx_count, published);
  EXPECT_LT(std::fabs(rig.sent(0).pos_ref), 0.01f);
  sim_now = ms;
  simulated_clock::set_time(std::chrono::nanoseconds(sim_now));
  rig.keep_messages = true;
  float before = rig.sent(0).pos_ref;
  float fastest = 0.0f;
  for (int k = 0; k < 3000; ++k) {
    hold(1, true);
    fastest = std::max(fastest, std::fabs(rig.sent(0).pos_ref - before) / 0.001f);
    before = rig.sent(0).pos_ref;
  }
  simulated_clock::enable_sim_time(false);
  ASSERT_FALSE(rig.received.empty());
  EXPECT_EQ(rig.received.front().stamp, ms);
  EXPECT_LT(std::fabs(rig.received.front().rx[0].link_pos), 0.01f);
  EXPECT_LT(fastest, 2.0f);
  EXPECT_NEAR(rig.sent(0).pos_ref, 0.8f, 1e-3);
  EXPECT_EQ(rig.last_status.mask, 0xFFFFFFFFu);
}
