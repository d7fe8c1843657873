// One joint's command pipeline on its own: the filter's initial design, its
// first step from nothing, unity gain at rest, and the expiry boundaries on
// the simulated clock.
#include <gtest/gtest.h>

#include <cfloat>
#include <chrono>
#include <cmath>

#include <urdf_model/joint.h>

#include "joint_command_limits.h"
#include "joint_tx_data.h"
#include "orvo2/clock/simulated_clock.h"
#include "orvo2/devices/joint_api.h"

using namespace Orvo;
using namespace Orvo::Hal;

namespace {

struct Pipeline {
  Journal journal{"jm_test"};
  std::shared_ptr<JointApi> joint =
      std::make_shared<JointApi>(DeviceInfo{"j", "joint_dummy", 1}, JointApi::Topics::Detach);
  JointTxData data{"j", &journal};
  Pipeline() { data.joint = joint; }
  const joint_tx& sent() const { return joint->get_tx(); }
};

joint_tx command(float pos, float vel, float tor, uint8_t mask) {
  joint_tx tx;
  tx.pos_ref = pos;
  tx.vel_ref = vel;
  tx.tor_ref = tor;
  tx.mask = mask;
  return tx;
}

}  // namespace

TEST(JointTxData, InitialFilterIsTheOneHertzDesign) {
  Pipeline p;
  EXPECT_EQ(p.data.omega, 6.283185307179586);
  EXPECT_EQ(p.data.zeta, 0.8);
  EXPECT_EQ(p.data.ts, 0.001);
  EXPECT_EQ(p.data.b1, 2.0);
  EXPECT_EQ(p.data.b2, 1.0);
  EXPECT_EQ(p.data.a0, 101831.47946023183);
  EXPECT_EQ(p.data.a1, -202640.36728467554);
  EXPECT_EQ(p.data.a2, 100812.88782444371);
  const double w = p.data.omega * p.data.ts;
  EXPECT_DOUBLE_EQ(p.data.a0, 1 + 4 * 0.8 / w + 4 / (w * w));
  EXPECT_DOUBLE_EQ(p.data.a1, 2 - 8 / (w * w));
  EXPECT_DOUBLE_EQ(p.data.a2, 1 - 4 * 0.8 / w + 4 / (w * w));

  p.data.set_filter(0.001, 100.0);
  EXPECT_EQ(p.data.omega, 628.3185307179587);
  EXPECT_EQ(p.data.zeta, 1.0);
  EXPECT_EQ(p.data.ts, 0.001);
}

TEST(JointTxData, FirstStepFromNothingAndUnityGainAtRest) {
  Pipeline p;
  p.data.filter_enabled = true;
  p.data.apply_tx(command(1.0f, 0, 2.0f, 5), 0xFFFFFFFFu);
  p.data.process_and_publish();
  EXPECT_EQ(p.sent().pos_ref, float(1.0 / p.data.a0) * 1.0f);
  EXPECT_EQ(p.sent().tor_ref, 2.0f);  // unfiltered
  EXPECT_EQ(p.sent().mask, 0xFF);

  // The 1 Hz design at 1 ms, long enough for any drift to show: a joint at
  // rest stays exactly where it is, one held at its limit never passes it,
  // and steps settle exactly on their value.
  for (const float rest : {0.75f, 1.9f}) {
    Pipeline q;
    int violations = 0;
    q.data.on_violation = [&violations] { return ++violations, true; };
    q.data.limits.max.pos_ref = 1.9f;
    q.data.filter_enabled = true;
    joint_rx rx{};
    rx.link_pos = rest;
    q.data.initialise(rx);
    q.data.apply_tx(command(rest, 0, 0, 1), 0xFFFFFFFFu);
    for (int k = 0; k < 200000; ++k) {
      q.data.process_and_publish();
      if (q.sent().pos_ref != rest) {
        break;
      }
    }
    EXPECT_EQ(q.sent().pos_ref, rest);
    EXPECT_EQ(violations, 0) << rest;
  }
  p.data.set_filter(0.001, 1.0);
  for (const float step : {0.5f, -0.3f}) {
    p.data.apply_tx(command(step, 0, 0, 1), 0xFFFFFFFFu);
    for (int k = 0; k < 200000; ++k) {
      p.data.process_and_publish();
    }
    EXPECT_EQ(p.sent().pos_ref, step);
  }
}

TEST(JointTxData, CommandTakesOnlyTheFieldsItCarriesAndTheMaskAllows) {
  Pipeline p;
  joint_rx rx{};
  rx.link_pos = 0.3f;
  rx.stiffness = 200.0f;
  rx.damping = 4.0f;
  p.data.initialise(rx);
  joint_tx torque_only = command(9.0f, 9.0f, 1.5f, joint_tx::TOR_REF);
  torque_only.stiffness = 9.0f;
  p.data.apply_tx(torque_only, 0xFFFFFFFFu);
  p.data.apply_tx(command(0.35f, 0.1f, 9.0f, 7), joint_tx::POS_REF | joint_tx::TOR_REF);
  p.data.process_and_publish();
  EXPECT_EQ(p.sent().pos_ref, 0.35f);
  EXPECT_EQ(p.sent().vel_ref, 0.0f);
  EXPECT_EQ(p.sent().tor_ref, 9.0f);
  EXPECT_EQ(p.sent().stiffness, 200.0f);
  EXPECT_EQ(p.sent().damping, 4.0f);
}

TEST(JointTxData, LimitsBindEveryFieldFromTheFirstCycle) {
  Pipeline p;
  int violations = 0;
  p.data.on_violation = [&violations] { return ++violations, true; };
  p.data.limits.max.vel_ref = 2.0f;
  p.data.limits.max.tor_ref = 80.0f;
  // No rx yet: the record's own mask is still 0, the joint would get both.
  p.data.apply_tx(command(0, 50.0f, 1000.0f, 6), 0xFFFFFFFFu);
  p.data.process_and_publish();
  EXPECT_EQ(violations, 1);
  EXPECT_EQ(p.sent().vel_ref, 0.0f);
}

TEST(JointTxData, AJointOutsideItsRangeCanBeBroughtBack) {
  Pipeline p;
  int violations = 0;
  p.data.on_violation = [&violations] { return ++violations, true; };
  p.data.limits.max.pos_ref = 1.0f;
  joint_rx rx{};
  rx.link_pos = 1.2f;
  p.data.initialise(rx);
  p.data.process_and_publish();
  p.data.apply_tx(command(1.1f, 0, 0, 1), 0xFFFFFFFFu);
  p.data.process_and_publish();
  EXPECT_EQ(violations, 0);
  EXPECT_EQ(p.sent().pos_ref, 1.1f);
  p.data.apply_tx(command(1.15f, 0, 0, 1), 0xFFFFFFFFu);  // further out again
  p.data.process_and_publish();
  EXPECT_EQ(violations, 1);

  // Below the range, the same.
  Pipeline below;
  int below_violations = 0;
  below.data.on_violation = [&below_violations] { return ++below_violations, true; };
  below.data.limits.min.pos_ref = 0.5f;
  rx.link_pos = 0.3f;
  below.data.initialise(rx);
  below.data.apply_tx(command(0.35f, 0, 0, 1), 0xFFFFFFFFu);
  below.data.process_and_publish();
  EXPECT_EQ(below_violations, 0);
  below.data.apply_tx(command(0.32f, 0, 0, 1), 0xFFFFFFFFu);
  below.data.process_and_publish();
  EXPECT_EQ(below_violations, 1);

  // Before its first rx the joint is nowhere: last sent is no position of it.
  Pipeline unsensed;
  int unsensed_violations = 0;
  unsensed.data.on_violation = [&unsensed_violations] { return ++unsensed_violations, true; };
  unsensed.data.limits.min.pos_ref = 0.5f;
  unsensed.data.limits.max.pos_ref = 1.0f;
  unsensed.data.process_and_publish();
  unsensed.data.apply_tx(command(0.001f, 0, 0, 1), 0xFFFFFFFFu);
  unsensed.data.process_and_publish();
  EXPECT_EQ(unsensed_violations, 2);
}

// While a stop lasts a joint whose violation was logged is checked without
// a report: the verdicts must be those of the reported checks.
TEST(JointTxData, ChecksWithoutReportGiveTheSameVerdicts) {
  // The rate of a step from 0.5 as the pipeline computes it.
  const auto rate = [](float pos) { return std::fabs((pos - 0.5f) / float(0.001)); };
  struct Case {
    const char* what;
    joint_tx tx;
    float max_rate;
    bool violates;
  };
  joint_tx soft = command(0.5f, 0, 0, joint_tx::POS_REF | joint_tx::STIFFNESS);
  soft.stiffness = -1.0f;
  const Case cases[] = {
      {"position at its upper bound", command(1.0f, 0, 0, 1), FLT_MAX, false},
      {"position above", command(1.0001f, 0, 0, 1), FLT_MAX, true},
      {"position at its lower bound", command(-1.0f, 0, 0, 1), FLT_MAX, false},
      {"position below", command(-1.0001f, 0, 0, 1), FLT_MAX, true},
      {"velocity at its bound", command(0, 2.0f, 0, 2), FLT_MAX, false},
      {"velocity above", command(0, 2.01f, 0, 2), FLT_MAX, true},
      {"torque below", command(0, 0, -80.5f, 4), FLT_MAX, true},
      {"a negative gain", soft, FLT_MAX, true},
      {"a step at the rate limit", command(0.502f, 0, 0, 1), rate(0.502f), false},
      {"a step back at the rate limit", command(0.498f, 0, 0, 1), rate(0.498f), false},
      {"a step beyond it", command(0.503f, 0, 0, 1), rate(0.502f), true},
      {"a step back beyond it", command(0.497f, 0, 0, 1), rate(0.498f), true},
  };
  for (const bool report : {true, false}) {
    for (const Case& c : cases) {
      Pipeline p;
      int violations = 0;
      p.data.on_violation = [&violations] { return ++violations, true; };
      p.data.limits.min.pos_ref = -1.0f;
      p.data.limits.max.pos_ref = 1.0f;
      p.data.limits.max.vel_ref = 2.0f;
      p.data.limits.min.tor_ref = -80.0f;
      p.data.limits.max_delta.pos_ref = c.max_rate;
      joint_rx rx{};
      rx.link_pos = 0.5f;
      p.data.initialise(rx);
      p.data.apply_tx(c.tx, 0xFFFFFFFFu, 0);
      p.data.process_and_publish(0, report);
      EXPECT_EQ(violations, c.violates ? 1 : 0) << c.what << (report ? "" : ", without report");
    }
  }
}

TEST(JointTxData, GainsMustBeFiniteAndNonNegativeAndAStopLeavesNothingElse) {
  Pipeline p;
  int stops = 0;
  p.data.on_violation = [&] { return ++stops, p.data.reset(), true; };
  joint_rx rx{};
  rx.link_pos = 0.2f;
  rx.stiffness = 200.0f;
  rx.damping = NAN;  // echoed by a joint whose state blew up
  p.data.initialise(rx);
  p.data.filter_enabled = true;
  for (int k = 0; k < 3; ++k) {
    p.data.process_and_publish();
  }
  EXPECT_EQ(stops, 1);  // once: the fall-back is finite
  EXPECT_EQ(p.sent().damping, 0.0f);

  joint_tx gains = command(0.2f, 0, 0, joint_tx::DAMPING);
  gains.damping = INFINITY;
  p.data.apply_tx(gains, 0xFFFFFFFFu);
  p.data.process_and_publish();
  p.data.filter_enabled = false;
  gains.mask = joint_tx::STIFFNESS;
  gains.stiffness = -1.0f;
  p.data.apply_tx(gains, 0xFFFFFFFFu);
  p.data.process_and_publish();
  EXPECT_EQ(stops, 3);
  EXPECT_EQ(p.sent().stiffness, 200.0f);
  EXPECT_EQ(p.sent().damping, 0.0f);

  rx.stiffness = -5.0f;  // echoed: the fall-back must not repeat it
  p.data.initialise(rx);
  for (int k = 0; k < 3; ++k) {
    p.data.process_and_publish();
  }
  EXPECT_EQ(stops, 4);
}

TEST(JointTxData, UrdfLimitsOfContinuousAndUnusableJoints) {
  auto joint = std::make_shared<urdf::Joint>();
  joint->type = urdf::Joint::CONTINUOUS;
  joint->limits = std::make_shared<urdf::JointLimits>();
  joint->limits->velocity = 3.0;
  joint->limits->effort = 10.0;
  joint_tx_limits limits;
  set_urdf_limits(limits, joint, 1.0);
  EXPECT_EQ(limits.min.pos_ref, -FLT_MAX);
  EXPECT_EQ(limits.max.pos_ref, FLT_MAX);
  EXPECT_EQ(limits.max.vel_ref, 3.0f);
  EXPECT_EQ(limits.min.tor_ref, -10.0f);

  joint->type = urdf::Joint::REVOLUTE;
  joint->limits->lower = 1.0;
  joint->limits->upper = -1.0;
  EXPECT_FALSE(set_urdf_limits(limits, joint, 1.0));
  joint->limits->upper = 2.0;
  joint->limits->velocity = -3.0;
  EXPECT_FALSE(set_urdf_limits(limits, joint, 1.0));
  EXPECT_EQ(limits.max.pos_ref, FLT_MAX);  // unchanged
  EXPECT_EQ(limits.max.vel_ref, 3.0f);
}

TEST(JointTxData, ReferencesExpireStrictlyAfterTheirTimeout) {
  using Orvo::chrono::simulated_clock;
  simulated_clock::enable_sim_time(true);
  const int64_t t0 = 5000000000LL;
  simulated_clock::set_time(std::chrono::nanoseconds(t0));
  Pipeline p;
  p.data.apply_tx(command(0.1f, 0.2f, 0.3f, 7), 0xFFFFFFFFu);
  simulated_clock::set_time(std::chrono::nanoseconds(t0 + 100000000));
  p.data.process_and_publish();
  EXPECT_EQ(p.sent().vel_ref, 0.2f);
  EXPECT_EQ(p.sent().tor_ref, 0.3f);

  p.data.apply_tx(command(0, 0, 0.4f, 4), 0xFFFFFFFFu);  // re-arms the torque only
  simulated_clock::set_time(std::chrono::nanoseconds(t0 + 100000001));
  p.data.process_and_publish();
  EXPECT_EQ(p.sent().vel_ref, 0.0f);
  EXPECT_EQ(p.sent().tor_ref, 0.4f);
  EXPECT_EQ(p.sent().pos_ref, 0.1f);

  p.data.apply_tx(command(0, 0.5f, 0.5f, 6), 0x1u);  // the mask lets neither through
  simulated_clock::set_time(std::chrono::nanoseconds(t0 + 300000000));
  p.data.process_and_publish();
  EXPECT_EQ(p.sent().vel_ref, 0.0f);
  EXPECT_EQ(p.sent().tor_ref, 0.0f);
  simulated_clock::enable_sim_time(false);
}

TEST(JointTxData, ReferencesExpireWhenTheClockWentBack) {
  Pipeline p;
  const int64_t ms = 1000000;
  const int64_t before_restart = 60000 * ms;
  p.data.apply_tx(command(0.1f, 0.2f, 0.3f, 7), 0xFFFFFFFFu, before_restart);
  p.data.process_and_publish(before_restart + 50 * ms);
  EXPECT_EQ(p.sent().vel_ref, 0.2f);

  // A restarted simulator's clock starts again near zero: what was commanded
  // on the old clock is not repeated, so it must not stay in force.
  p.data.process_and_publish(20 * ms);
  EXPECT_EQ(p.sent().vel_ref, 0.0f);
  EXPECT_EQ(p.sent().tor_ref, 0.0f);
  EXPECT_EQ(p.sent().pos_ref, 0.1f);

  // Commands on the new clock expire after their time-out as usual.
  p.data.apply_tx(command(0.1f, 0.6f, 0.7f, 6), 0xFFFFFFFFu, 30 * ms);
  p.data.process_and_publish(130 * ms);
  EXPECT_EQ(p.sent().vel_ref, 0.6f);
  EXPECT_EQ(p.sent().tor_ref, 0.7f);
  p.data.process_and_publish(130 * ms + 1);
  EXPECT_EQ(p.sent().vel_ref, 0.0f);
  EXPECT_EQ(p.sent().tor_ref, 0.0f);
}
