#include <gtest/gtest.h>

#include "orvo_interface/control_mode.h"

namespace {

TEST(ControlMode, BitsMapToTheFiveReferences) {
  for (unsigned long bits = 0; bits < 32; ++bits) {
    const auto mode = Orvo::ControlMode::FromBitset(std::bitset<5>(bits));
    EXPECT_EQ(mode.to_bitset().to_ulong(), bits);
    EXPECT_EQ(mode.isPositionEnabled(), (bits & 1u) != 0);
    EXPECT_EQ(mode.isVelocityEnabled(), (bits & 2u) != 0);
    EXPECT_EQ(mode.isEffortEnabled(), (bits & 4u) != 0);
    EXPECT_EQ(mode.isStiffnessEnabled(), (bits & 8u) != 0);
    EXPECT_EQ(mode.isDampingEnabled(), (bits & 16u) != 0);
  }
  using M = Orvo::ControlMode;
  EXPECT_EQ(M::Idle().to_bitset().to_ulong(), 0u);
  EXPECT_EQ(M(), M::Idle());
  EXPECT_EQ((M::Position() + M::Velocity()).to_bitset().to_ulong(), 3u);
  EXPECT_EQ((M::Effort() + M::Stiffness() + M::Damping()).to_bitset().to_ulong(), 28u);
  // Only five bits exist: 0x20 is idle once cut to five bits.
  EXPECT_EQ(M::FromBitset(std::bitset<5>(0x20)), M::Idle());
}

}  // namespace
