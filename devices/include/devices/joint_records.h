#pragma once
// The joint device's records. Both cross process boundaries as raw bytes:
// their layout is fixed (checked below) and must never change.

#include <cstddef>
#include <cstdint>
#include <iosfwd>

namespace Orvo {
namespace Hal {

// Sensed state of one joint, 44 bytes.
struct joint_rx {
  float link_pos;
  float motor_pos;
  float link_vel;
  float motor_vel;
  float tor;
  float temp;
  float pos_ref;    // echo of the command in force
  float vel_ref;
  float tor_ref;
  float stiffness;
  float damping;
};

// Command of one joint, 24 bytes: five floats, the field mask, three bytes of
// padding that no copy carries (copy_joint_tx moves bytes 0 to 20).
struct joint_tx {
  // Field mask bits.
  enum : uint8_t {
    POS_REF = 1,
    VEL_REF = 2,
    TOR_REF = 4,
    STIFFNESS = 8,
    DAMPING = 16,
    ALL = 0xFF,
  };

  float pos_ref;
  float vel_ref;
  float tor_ref;
  float stiffness;
  float damping;
  uint8_t mask;

  // Every field zero and the mask 0 (nothing meant).
  joint_tx();

  // A command that holds the joint where it is with its present gains:
  // position = sensed link position, no velocity or effort, gains echoed, mask 0xFF.
  void reset(const joint_rx& rx);

  // Takes the fields that `field_mask` selects from `other`; the mask is kept.
  void apply(const joint_tx& other, uint8_t field_mask);
};

constexpr size_t joint_tx_copy_size = offsetof(joint_tx, mask) + sizeof(uint8_t);

// Copies the five floats and the mask (21 bytes); the padding is not carried.
inline void copy_joint_tx(joint_tx& dst, const joint_tx& src) {
  dst.pos_ref = src.pos_ref;
  dst.vel_ref = src.vel_ref;
  dst.tor_ref = src.tor_ref;
  dst.stiffness = src.stiffness;
  dst.damping = src.damping;
  dst.mask = src.mask;
}

// Field-wise arithmetic on the five floats; the result keeps the mask of the
// record operand (the left one for two records).
joint_tx operator+(const joint_tx& a, const joint_tx& b);
joint_tx operator-(const joint_tx& a, const joint_tx& b);
joint_tx operator*(float k, const joint_tx& a);
joint_tx operator*(const joint_tx& a, float k);
joint_tx operator/(const joint_tx& a, float k);

std::ostream& operator<<(std::ostream& os, const joint_rx& rx);
std::ostream& operator<<(std::ostream& os, const joint_tx& tx);

static_assert(sizeof(joint_rx) == 44, "joint_rx must be 44 bytes");
static_assert(offsetof(joint_rx, temp) == 20 && offsetof(joint_rx, damping) == 40, "joint_rx layout");
static_assert(sizeof(joint_tx) == 24, "joint_tx must be 24 bytes");
static_assert(offsetof(joint_tx, damping) == 16 && offsetof(joint_tx, mask) == 20, "joint_tx layout");
static_assert(joint_tx_copy_size == 21, "a joint_tx copy moves 21 bytes");

}  // namespace Hal
}  // namespace Orvo
