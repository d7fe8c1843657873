#include "devices/joint_records.h"

#include <ostream>

namespace Orvo {
namespace Hal {
namespace {

template <typename Op>
joint_tx fieldwise(const joint_tx& a, const joint_tx& b, Op op) {
  joint_tx r;
  r.pos_ref = op(a.pos_ref, b.pos_ref);
  r.vel_ref = op(a.vel_ref, b.vel_ref);
  r.tor_ref = op(a.tor_ref, b.tor_ref);
  r.stiffness = op(a.stiffness, b.stiffness);
  r.damping = op(a.damping, b.damping);
  r.mask = a.mask;
  return r;
}

template <typename Op>
joint_tx scaled(const joint_tx& a, Op op) {
  joint_tx r;
  r.pos_ref = op(a.pos_ref);
  r.vel_ref = op(a.vel_ref);
  r.tor_ref = op(a.tor_ref);
  r.stiffness = op(a.stiffness);
  r.damping = op(a.damping);
  r.mask = a.mask;
  return r;
}

}  // namespace

joint_tx::joint_tx() : pos_ref(0), vel_ref(0), tor_ref(0), stiffness(0), damping(0), mask(0) {}

void joint_tx::reset(const joint_rx& rx) {
  pos_ref = rx.link_pos;
  vel_ref = 0.0f;
  tor_ref = 0.0f;
  stiffness = rx.stiffness;
  damping = rx.damping;
  mask = ALL;
}

void joint_tx::apply(const joint_tx& other, uint8_t field_mask) {
  if (field_mask & POS_REF) pos_ref = other.pos_ref;
  if (field_mask & VEL_REF) vel_ref = other.vel_ref;
  if (field_mask & TOR_REF) tor_ref = other.tor_ref;
  if (field_mask & STIFFNESS) stiffness = other.stiffness;
  if (field_mask & DAMPING) damping = other.damping;
}

joint_tx operator+(const joint_tx& a, const joint_tx& b) {
  return fieldwise(a, b, [](float x, float y) { return x + y; });
}
joint_tx operator-(const joint_tx& a, const joint_tx& b) {
  return fieldwise(a, b, [](float x, float y) { return x - y; });
}
joint_tx operator*(float k, const joint_tx& a) {
  return scaled(a, [k](float x) { return k * x; });
}
joint_tx operator*(const joint_tx& a, float k) { return k * a; }
joint_tx operator/(const joint_tx& a, float k) {
  return scaled(a, [k](float x) { return x / k; });
}

std::ostream& operator<<(std::ostream& os, const joint_rx& rx) {
  return os << "link_pos: " << rx.link_pos << ", motor_pos: " << rx.motor_pos
            << ", link_vel: " << rx.link_vel << ", motor_vel: " << rx.motor_vel
            << ", tor: " << rx.tor << ", temp: " << rx.temp << ", pos_ref: " << rx.pos_ref
            << ", vel_ref: " << rx.vel_ref << ", tor_ref: " << rx.tor_ref
            << ", stiffness: " << rx.stiffness << ", damping: " << rx.damping;
}

std::ostream& operator<<(std::ostream& os, const joint_tx& tx) {
  return os << "pos_ref: " << tx.pos_ref << ", vel_ref: " << tx.vel_ref
            << ", tor_ref: " << tx.tor_ref << ", stiffness: " << tx.stiffness
            << ", damping: " << tx.damping << ", mask: 0x" << std::hex
            << static_cast<unsigned>(tx.mask) << std::dec;
}

}  // namespace Hal
}  // namespace Orvo
