// Joint command operations and limit checks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "orvo2/context/journal.h"
#include "orvo2/devices/joint_tx_limits.h"

using namespace Orvo::Hal;

namespace {
joint_tx make(float p, float v, float t, float k, float d, uint8_t mask) {
  joint_tx tx;
  tx.pos_ref = p;
  tx.vel_ref = v;
  tx.tor_ref = t;
  tx.stiffness = k;
  tx.damping = d;
  tx.mask = mask;
  return tx;
}
}  // namespace

TEST(JointTx, DefaultResetAndApply) {
  joint_tx tx;
  EXPECT_EQ(tx.pos_ref, 0.0f);
  EXPECT_EQ(tx.mask, 0);

  joint_rx rx{};
  rx.link_pos = 0.7f;
  rx.motor_pos = 0.6f;
  rx.vel_ref = 3.0f;
  rx.tor_ref = 4.0f;
  rx.stiffness = 100.0f;
  rx.damping = 5.0f;
  tx.reset(rx);
  EXPECT_FLOAT_EQ(tx.pos_ref, 0.7f);  // hold where the joint is
  EXPECT_EQ(tx.vel_ref, 0.0f);
  EXPECT_EQ(tx.tor_ref, 0.0f);
  EXPECT_FLOAT_EQ(tx.stiffness, 100.0f);
  EXPECT_FLOAT_EQ(tx.damping, 5.0f);
  EXPECT_EQ(tx.mask, 0xFF);

  const joint_tx other = make(1, 2, 3, 4, 5, 0);
  tx.apply(other, joint_tx::VEL_REF | joint_tx::DAMPING);
  EXPECT_FLOAT_EQ(tx.pos_ref, 0.7f);
  EXPECT_FLOAT_EQ(tx.vel_ref, 2.0f);
  EXPECT_EQ(tx.tor_ref, 0.0f);
  EXPECT_FLOAT_EQ(tx.stiffness, 100.0f);
  EXPECT_FLOAT_EQ(tx.damping, 5.0f);
  EXPECT_EQ(tx.mask, 0xFF) << "apply keeps the mask";
  tx.apply(other, joint_tx::ALL);
  EXPECT_FLOAT_EQ(tx.stiffness, 4.0f);
}

TEST(JointTx, ArithmeticIsFieldWise) {
  const joint_tx a = make(1, 2, 3, 4, 5, 7);
  const joint_tx b = make(0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 1);
  const joint_tx sum = a + b;
  const joint_tx diff = a - b;
  const joint_tx twice = 2.0f * a;
  const joint_tx half = a / 2.0f;
  EXPECT_FLOAT_EQ(sum.damping, 5.5f);
  EXPECT_FLOAT_EQ(diff.pos_ref, 0.5f);
  EXPECT_FLOAT_EQ(twice.tor_ref, 6.0f);
  EXPECT_FLOAT_EQ((a * 2.0f).stiffness, 8.0f);
  EXPECT_FLOAT_EQ(half.vel_ref, 1.0f);
  EXPECT_EQ(sum.mask, 7);

  std::ostringstream os;
  os << a;
  EXPECT_EQ(os.str(), "pos_ref: 1, vel_ref: 2, tor_ref: 3, stiffness: 4, damping: 5, mask: 0x7");
}

TEST(JointTxLimits, DefaultsDoNotBindButNaNFails) {
  joint_tx_limits limits;
  EXPECT_TRUE(limits.check_tx(make(1e30f, -1e30f, 0, 1e9f, 0, 0xFF)));
  EXPECT_TRUE(limits.check_delta_tx(make(1e30f, 0, 0, 0, 0, 0xFF)));
  EXPECT_FALSE(limits.check_tx(make(std::nanf(""), 0, 0, 0, 0, 0xFF)));
}

TEST(JointTxLimits, ViolationsNameTheFieldOnlyForMaskedFields) {
  Orvo::JournalCapture capture;
  joint_tx_limits limits;
  limits.min = make(-1, -2, -3, 0, 0, 0xFF);
  limits.max = make(1, 2, 3, 0, 0, 0xFF);
  limits.min.stiffness = -std::numeric_limits<float>::infinity();
  limits.max.stiffness = std::numeric_limits<float>::infinity();
  limits.min.damping = -std::numeric_limits<float>::infinity();
  limits.max.damping = std::numeric_limits<float>::infinity();
  limits.max_delta.pos_ref = 10.0f;

  EXPECT_TRUE(limits.check_tx(make(1, 2, 3, 500, 50, 0xFF)));
  EXPECT_FALSE(limits.check_tx(make(0, 2.5f, 0, 0, 0, 0xFF)));
  EXPECT_TRUE(capture.contains("vel_ref = 2.5 outside [-2, 2]"));
  EXPECT_TRUE(limits.check_tx(make(0, 2.5f, 0, 0, 0, joint_tx::POS_REF)))
      << "fields outside the mask are not checked";

  EXPECT_TRUE(limits.check_delta_tx(make(-10, 1e9f, 0, 0, 0, joint_tx::POS_REF)));
  EXPECT_FALSE(limits.check_delta_tx(make(-10.5f, 0, 0, 0, 0, joint_tx::POS_REF)));
  EXPECT_TRUE(capture.contains("rate of pos_ref = -10.5 /s exceeds 10 /s"));
}
