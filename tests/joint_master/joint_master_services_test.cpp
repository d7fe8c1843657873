// The joint master's services called by their framework names from another
// thread while the master cycles, and its status message.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>

#include "master_rig.h"
#include "orvo2/context/journal.h"

using namespace Orvo;
using namespace Orvo::test;

namespace {

void set_period(std::chrono::nanoseconds period) {
  Context().paramManager().setParam("/jm/period", period);
}

Hal::joint_tx_limits position_limit(float max_pos) {
  Hal::joint_tx_limits limits;
  limits.max.pos_ref = max_pos;
  return limits;
}

}  // namespace

TEST(JointMasterServices, StatusEveryCycleAndTheMask) {
  JournalCapture journal;
  MasterRig rig(arm_joints(1), RigOptions{false});
  for (int k = 0; k < 5; ++k) {
    rig.cycle();
  }
  ASSERT_EQ(rig.status.size(), 5u);
  EXPECT_EQ(rig.status.back().mask, 0xFFFFFFFFu);
  EXPECT_FALSE(rig.status.back().tx_filter_enabled);
  EXPECT_EQ(rig.status.back().tx_filter_cutoff, 100.0);

  bool reply = false;
  ASSERT_TRUE(rig.call<unsigned>("/joint_master/set_mask", 5u, reply));
  EXPECT_TRUE(reply);
  EXPECT_EQ(journal.count("joint_master: setting mask to 5 \n"), 1);
  rig.cycle();
  EXPECT_EQ(rig.status.back().mask, 5u);
}

TEST(JointMasterServices, FilterNeedsAKnownPeriodAndAValidCutoff) {
  if (period_is_set()) {
    GTEST_SKIP() << "needs a process without a period (ctest runs each test alone)";
  }
  JournalCapture journal;
  {
    // 0 Hz would give the filter NaN coefficients once it is on.
    MasterRig zero(arm_joints(1), RigOptions{false, true, false, 0.0});
    zero.cycle();
    EXPECT_EQ(zero.status.back().tx_filter_cutoff, 100.0);
  }
  MasterRig rig(arm_joints(1), RigOptions{false, true, false, std::nan("")});
  EXPECT_EQ(journal.count("parameter '/jm/tx_filter_cutoff' refused: invalid cutoff frequency "
                          "(nan Hz), keeping 100 Hz \n"),
            1);
  rig.cycle();
  bool reply = true;
  ASSERT_TRUE(rig.call<bool>("/joint_master/enable_tx_filter", true, reply));
  EXPECT_FALSE(reply);
  EXPECT_EQ(journal.count("cannot enable filter: period parameter unspecified \n"), 1);
  reply = true;
  ASSERT_TRUE(rig.call<double>("/joint_master/set_tx_filter_cutoff", 5.0, reply));
  EXPECT_FALSE(reply);  // no sample time yet
  EXPECT_EQ(journal.count("cannot set cutoff frequency to 5 Hz: control period unknown \n"), 1);
  set_period(std::chrono::nanoseconds(0));
  ASSERT_TRUE(rig.call<bool>("/joint_master/enable_tx_filter", true, reply));
  EXPECT_FALSE(reply);
  EXPECT_EQ(journal.count("cannot enable filter: period parameter invalid \n"), 1);
  rig.cycle();
  EXPECT_FALSE(rig.status.back().tx_filter_enabled);
  EXPECT_EQ(rig.status.back().tx_filter_cutoff, 100.0);

  // The thread's period parameter serves a cut-off before the filter ran.
  set_period(std::chrono::milliseconds(1));
  ASSERT_TRUE(rig.call<double>("/joint_master/set_tx_filter_cutoff", 5.0, reply));
  EXPECT_TRUE(reply);
  EXPECT_EQ(journal.count("set cutoff frequency to 5 Hz \n"), 1);
  ASSERT_TRUE(rig.call<bool>("/joint_master/enable_tx_filter", false, reply));
  EXPECT_TRUE(reply);
  EXPECT_EQ(journal.count("filter disabled successfully with period = 0.001s, cutoff = 5 Hz \n"), 1);
  for (double bad : {0.0, -5.0, std::nan(""), 500.0}) {
    ASSERT_TRUE(rig.call<double>("/joint_master/set_tx_filter_cutoff", bad, reply));
    EXPECT_FALSE(reply);
  }
  EXPECT_EQ(journal.count("invalid cutoff frequency requested (-5 Hz) \n"), 1);
  EXPECT_EQ(journal.count("invalid cutoff frequency requested (500 Hz): not below half the "
                          "sample rate (500 Hz) \n"),
            1);
  rig.cycle();
  EXPECT_FALSE(rig.status.back().tx_filter_enabled);
  EXPECT_EQ(rig.status.back().tx_filter_cutoff, 5.0);
}

// A cut-off far below the sample rate overflows the coefficients to infinity:
// the filter would send NaN from its first cycle and stop the joints for good.
TEST(JointMasterServices, ACutoffWhoseCoefficientsOverflowIsRefusedEverywhere) {
  JournalCapture journal;
  set_period(std::chrono::milliseconds(1));
  MasterRig rig(arm_joints(1), RigOptions{false, true, true, 1e-300});
  EXPECT_EQ(journal.count("parameter '/jm/tx_filter_cutoff' refused: invalid cutoff frequency "
                          "(1e-300 Hz), keeping 100 Hz \n"),
            1);
  const char* const refused =
      "invalid cutoff frequency requested (1e-300 Hz): the filter's coefficients at a period of "
      "0.001s are not finite \n";
  EXPECT_EQ(journal.count(refused), 1);
  rig.cycle();
  EXPECT_TRUE(rig.status.back().tx_filter_enabled);
  bool reply = true;
  ASSERT_TRUE(rig.call<double>("/joint_master/set_tx_filter_cutoff", 1e-300, reply));
  EXPECT_FALSE(reply);
  EXPECT_EQ(journal.count(refused), 2);

  // A cut-off that holds at 1 ms no longer does once the period is 1 ns.
  ASSERT_TRUE(rig.call<double>("/joint_master/set_tx_filter_cutoff", 1e-150, reply));
  EXPECT_TRUE(reply);
  set_period(std::chrono::nanoseconds(1));
  ASSERT_TRUE(rig.call<bool>("/joint_master/enable_tx_filter", true, reply));
  EXPECT_FALSE(reply);
  EXPECT_EQ(journal.count("invalid cutoff frequency requested (1e-150 Hz): the filter's "
                          "coefficients at a period of 1e-09s are not finite \n"),
            1);
  rig.send({1}, {command(0.001f, 0, 0, 1)});
  for (int k = 0; k < 20; ++k) {
    rig.cycle();
  }
  EXPECT_FALSE(journal.contains("violation"));
  EXPECT_TRUE(std::isfinite(rig.sent(0).pos_ref));
  EXPECT_EQ(rig.status.back().mask, 0xFFFFFFFFu);
}

TEST(JointMasterServices, FilteredStepFollowsTheDesignAndSettles) {
  JournalCapture journal;
  set_period(std::chrono::milliseconds(1));
  MasterRig rig(arm_joints(1), RigOptions{false});
  rig.cycle();
  bool reply = false;
  ASSERT_TRUE(rig.call<bool>("/joint_master/enable_tx_filter", true, reply));
  EXPECT_TRUE(reply);
  EXPECT_EQ(journal.count("filter enabled successfully with period = 0.001s, cutoff = 100 Hz \n"), 1);
  rig.cycle();
  EXPECT_TRUE(rig.status.back().tx_filter_enabled);

  // 100 Hz, zeta 1, 1 ms; at rest at 0 every history is exactly 0.
  const double w = 6.283185307179586 * 100.0 * 0.001;
  const double a0 = 1 + 4 / w + 4 / (w * w), a1 = 2 - 8 / (w * w), a2 = 1 - 4 / w + 4 / (w * w);
  double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
  const double x = 0.5;
  rig.send({1}, {command(float(x), 0, 1.5f, 5)});
  for (int k = 0; k < 5; ++k) {
    rig.cycle();
    const double y = (x + 2 * x1 + x2 - a1 * y1 - a2 * y2) / a0;
    EXPECT_NEAR(rig.sent(0).pos_ref, y, 1e-7) << "cycle " << k;
    EXPECT_EQ(rig.sent(0).tor_ref, 1.5f);
    x2 = x1, x1 = x, y2 = y1, y1 = y;
  }
  EXPECT_GT(rig.sent(0).pos_ref, 0.1f);
  EXPECT_LT(rig.sent(0).pos_ref, 0.45f);  // on its way, not there
  for (int k = 0; k < 300; ++k) {
    rig.cycle();
  }
  EXPECT_EQ(rig.sent(0).pos_ref, 0.5f);
}

TEST(JointMasterServices, AutostartWaitsForThePeriod) {
  if (period_is_set()) {
    GTEST_SKIP() << "needs a process without a period (ctest runs each test alone)";
  }
  JournalCapture journal;
  MasterRig rig(arm_joints(1), RigOptions{false, true, true, 50.0});
  for (int k = 0; k < 3; ++k) {
    rig.cycle();
  }
  EXPECT_FALSE(rig.status.back().tx_filter_enabled);
  EXPECT_FALSE(journal.contains("cannot enable filter"));
  set_period(std::chrono::microseconds(500));
  rig.cycle();
  EXPECT_TRUE(rig.status.back().tx_filter_enabled);
  EXPECT_EQ(rig.status.back().tx_filter_cutoff, 50.0);
  EXPECT_EQ(journal.count("filter enabled successfully with period = 0.0005s, cutoff = 50 Hz \n"), 1);
}

TEST(JointMasterServices, AutostartWithAZeroPeriodGivesUp) {
  JournalCapture journal;
  set_period(std::chrono::nanoseconds(0));
  MasterRig rig(arm_joints(1), RigOptions{false, true, true});
  for (int k = 0; k < 3; ++k) {
    rig.cycle();
  }
  set_period(std::chrono::milliseconds(1));
  rig.cycle();
  EXPECT_EQ(journal.count("cannot enable filter: period parameter invalid \n"), 1);
  EXPECT_FALSE(rig.status.back().tx_filter_enabled);
}

TEST(JointMasterServices, SetLimitsByIdAndRefusals) {
  JournalCapture journal;
  MasterRig rig(arm_joints(2), RigOptions{false, false});
  rig.cycle();
  Hal::JointMasterLimits request(2);
  request.info[0].id = 2;
  request.info[1].id = 1;
  request.limits = {position_limit(0.2f), position_limit(0.1f)};
  bool reply = false;
  ASSERT_TRUE(rig.call<Hal::JointMasterLimits>("/joint_master/set_limits", request, reply));
  EXPECT_TRUE(reply);
  EXPECT_EQ(journal.count("setting new safety limits \n"), 1);
  rig.send({1, 2}, {command(0.15f, 0, 0, 1), command(0.15f, 0, 0, 1)});
  rig.cycle();
  EXPECT_EQ(journal.count("'shoulder_yaw' safety limit violation detected in tx (see above) \n"), 1);
  EXPECT_EQ(journal.count("'shoulder_pitch' safety limit violation detected in tx (see above) \n"), 0);

  // An unknown id: the earlier entries stay applied and no reply comes.
  request.info = {{"", "", 2}, {"", "", 42}};
  request.limits = {position_limit(0.1f), position_limit(0.1f)};
  EXPECT_FALSE(rig.call<Hal::JointMasterLimits>("/joint_master/set_limits", request, reply,
                                                std::chrono::milliseconds(300)));
  EXPECT_EQ(journal.count("could not find joint with id = 42, available ids are [1, 2] \n"), 1);
  journal.clear();
  rig.send({2}, {command(0.16f, 0, 0, 1)});  // held where it is it may stay
  rig.cycle();
  EXPECT_EQ(journal.count("'shoulder_pitch' safety limit violation detected in tx (see above) \n"), 1);

  // A limits list shorter than its joint list is refused whole.
  request.info = {{"", "", 1}, {"", "", 2}};
  request.limits = {position_limit(5.0f)};
  ASSERT_TRUE(rig.call<Hal::JointMasterLimits>("/joint_master/set_limits", request, reply));
  EXPECT_FALSE(reply);
  EXPECT_EQ(journal.count("set_limits refused: 1 limits for 2 joints \n"), 1);

  // Bounds no command can meet are refused whole, with the joint and values.
  request.limits = {position_limit(0.5f), position_limit(0.5f)};
  request.limits[1].min.pos_ref = 1.0f;
  ASSERT_TRUE(rig.call<Hal::JointMasterLimits>("/joint_master/set_limits", request, reply));
  EXPECT_FALSE(reply);
  EXPECT_EQ(journal.count("set_limits refused: joint id 2 pos_ref bounds [1, 0.5], rate inf are "
                          "unusable \n"),
            1);
  request.limits = {position_limit(0.5f), position_limit(0.5f)};
  request.limits[0].max_delta.pos_ref = -1.0f;  // no step could pass
  ASSERT_TRUE(rig.call<Hal::JointMasterLimits>("/joint_master/set_limits", request, reply));
  EXPECT_FALSE(reply);
  EXPECT_TRUE(journal.contains("set_limits refused: joint id 1 pos_ref bounds ["));
  EXPECT_TRUE(journal.contains("], rate -1 are unusable \n"));
  journal.clear();
  rig.send({1}, {command(0.05f, 0, 0, 1)});
  rig.cycle();
  EXPECT_FALSE(journal.contains("violation"));
}
