#pragma once
// Which references a joint is commanded with: five flags, bit 0 position,
// bit 1 velocity, bit 2 effort, bit 3 stiffness, bit 4 damping. A plain value:
// every method is safe in a control cycle (no allocation, no lock).

#include <bitset>

namespace Orvo {

class ControlMode {
public:
  enum Bit : int { PositionBit = 0, VelocityBit = 1, EffortBit = 2, StiffnessBit = 3, DampingBit = 4 };

  // Idle.
  ControlMode() = default;

  static ControlMode Idle() { return ControlMode(0); }
  static ControlMode Position() { return ControlMode(1u << PositionBit); }
  static ControlMode Velocity() { return ControlMode(1u << VelocityBit); }
  static ControlMode Effort() { return ControlMode(1u << EffortBit); }
  static ControlMode Stiffness() { return ControlMode(1u << StiffnessBit); }
  static ControlMode Damping() { return ControlMode(1u << DampingBit); }
  static ControlMode FromBitset(std::bitset<5> bits) { return ControlMode(bits); }

  bool isPositionEnabled() const { return _bits.test(PositionBit); }
  bool isVelocityEnabled() const { return _bits.test(VelocityBit); }
  bool isEffortEnabled() const { return _bits.test(EffortBit); }
  bool isStiffnessEnabled() const { return _bits.test(StiffnessBit); }
  bool isDampingEnabled() const { return _bits.test(DampingBit); }
  std::bitset<5> to_bitset() const { return _bits; }

  // Both modes' references, e.g. Position() + Velocity().
  ControlMode operator+(const ControlMode& other) const { return ControlMode(_bits | other._bits); }
  bool operator==(const ControlMode& other) const { return _bits == other._bits; }
  bool operator!=(const ControlMode& other) const { return _bits != other._bits; }

private:
  explicit ControlMode(std::bitset<5> bits) : _bits(bits) {}

  std::bitset<5> _bits;
};

}  // namespace Orvo
