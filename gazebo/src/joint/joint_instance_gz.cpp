#include "joint/joint_instance_gz.h"

#include <utility>

#include <gazebo/physics/Joint.hh>

JointInstanceGz::JointInstanceGz(Orvo::Hal::DeviceInfo info, gazebo::physics::JointPtr joint)
    : DeviceTplCommon(std::move(info)), _joint(std::move(joint)) {
  _tx.stiffness = kInitialStiffness;
  _tx.damping = kInitialDamping;
}

bool JointInstanceGz::sense() {
  _rx.link_pos = static_cast<float>(_joint->Position(0));
  _rx.motor_pos = static_cast<float>(_joint->Position(0));
  _rx.link_vel = static_cast<float>(_joint->GetVelocity(0));
  _rx.motor_vel = static_cast<float>(_joint->GetVelocity(0));
  _rx.tor = static_cast<float>(_joint->GetForce(0));
  _rx.pos_ref = _tx.pos_ref;
  _rx.vel_ref = _tx.vel_ref;
  _rx.tor_ref = _tx.tor_ref;
  _rx.stiffness = _tx.stiffness;
  _rx.damping = _tx.damping;
  return true;
}

bool JointInstanceGz::move() {
  _joint->SetForce(0, pid_torque());
  return true;
}

double JointInstanceGz::pid_torque() const {
  const float e_p = _rx.motor_pos - _tx.pos_ref;
  const float e_v = _rx.motor_vel - _tx.vel_ref;
  const double kp = _tx.stiffness;
  const double kd = _tx.damping;
  return (-kp) * static_cast<double>(e_p) - static_cast<double>(e_v) * kd +
         static_cast<double>(_tx.tor_ref);
}

void JointInstanceGz::set_gains(double stiffness, double damping) {
  _tx.stiffness = static_cast<float>(stiffness);
  _tx.damping = static_cast<float>(damping);
}
