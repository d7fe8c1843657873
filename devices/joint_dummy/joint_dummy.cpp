#include "joint_dummy.h"

namespace Orvo {
namespace Hal {

bool JointDummy::sense_impl() {
  _rx.link_pos = _tx.pos_ref;
  _rx.motor_pos = _tx.pos_ref;
  _rx.link_vel = _tx.vel_ref;
  _rx.motor_vel = _tx.vel_ref;
  _rx.tor = _tx.tor_ref;
  _rx.temp = kTemperature;
  _rx.pos_ref = _tx.pos_ref;
  _rx.vel_ref = _tx.vel_ref;
  _rx.tor_ref = _tx.tor_ref;
  _rx.stiffness = _tx.stiffness;
  _rx.damping = _tx.damping;
  return true;
}

}  // namespace Hal
}  // namespace Orvo
