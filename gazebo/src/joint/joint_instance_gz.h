#pragma once
// One simulated joint served as a "joint_gz" device: senses axis 0 of the
// joint and drives it with a PD torque plus feed-forward from its command
// record. The command record starts with stiffness 100 and damping 5.

#include <gazebo/physics/PhysicsTypes.hh>

#include "devices/device_tpl_common.h"
#include "devices/joint_records.h"

class JointInstanceGz
    : public Orvo::Hal::DeviceTplCommon<Orvo::Hal::joint_rx, Orvo::Hal::joint_tx> {
public:
  static constexpr float kInitialStiffness = 100.0f;
  static constexpr float kInitialDamping = 5.0f;

  // Simulator loading thread; allocates. Records zeroed, then the initial gains.
  JointInstanceGz(Orvo::Hal::DeviceInfo info, gazebo::physics::JointPtr joint);
  ~JointInstanceGz() override = default;

  // World-update thread; no allocation, never throws. Position, velocity and
  // effort of axis 0, and an echo of the command record as it is now.
  bool sense() override;
  // World-update thread; no allocation, never throws. Applies pid_torque() to axis 0.
  bool move() override;

  // World-update thread, from move() only; reads the records, changes nothing.
  // tor_ref - stiffness * (motor_pos - pos_ref) - damping * (motor_vel - vel_ref),
  // the errors taken in single precision, the rest in double precision. The
  // mask is not read: every field acts.
  double pid_torque() const;

  // Simulator loading thread: the gains of the command record, narrowed to float.
  void set_gains(double stiffness, double damping);

private:
  gazebo::physics::JointPtr _joint;
};
