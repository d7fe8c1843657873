#include "gazebo/sensors/ForceTorqueSensor.hh"

#include "gazebo/physics/Joint.hh"
#include "gazebo/physics/Link.hh"

namespace gazebo {
namespace sensors {

ForceTorqueSensor::ForceTorqueSensor(const std::string& name, const std::string& scoped_name,
                                     physics::JointPtr joint, const ignition::math::Pose3d& pose,
                                     const ignition::math::Vector3d& gravity, Frame frame,
                                     bool parent_to_child)
    : Sensor(name, "force_torque", scoped_name, joint->GetScopedName(), pose),
      joint_(std::move(joint)),
      gravity_(gravity),
      frame_(frame),
      parent_to_child_(parent_to_child) {}

void ForceTorqueSensor::UpdateFromWorld(double /*step*/) {
  using ignition::math::Vector3d;
  const ignition::math::Pose3d sensor_pose = joint_->WorldPose() * Pose();
  const Vector3d origin = sensor_pose.Pos();

  // Wrench of the parent on the child subtree that holds it against gravity (world frame).
  Vector3d force = Vector3d::Zero;
  Vector3d torque = Vector3d::Zero;
  for (const physics::LinkPtr& link : joint_->Subtree()) {
    const Vector3d weight = gravity_ * link->Mass();
    force -= weight;
    torque -= (link->WorldCoGPose() - origin).Cross(weight);
  }
  // About or along the axis, the joint transmits only its effort.
  const Vector3d axis = joint_->GlobalAxis(0);
  const double effort = joint_->GetForce(0);
  if (joint_->HasType(physics::Base::HINGE_JOINT))
    torque += axis * (effort - torque.Dot(axis));
  else if (joint_->HasType(physics::Base::SLIDER_JOINT))
    force += axis * (effort - force.Dot(axis));
  if (!parent_to_child_) {
    force = -force;
    torque = -torque;
  }

  ignition::math::Quaterniond rotation = sensor_pose.Rot();
  if (frame_ == Frame::CHILD) rotation = joint_->GetChild()->WorldPose().Rot();
  if (frame_ == Frame::PARENT)
    rotation = joint_->GetParent() ? joint_->GetParent()->WorldPose().Rot()
                                   : ignition::math::Quaterniond::Identity;
  force_ = rotation.RotateVectorReverse(force);
  torque_ = rotation.RotateVectorReverse(torque);
}

}  // namespace sensors
}  // namespace gazebo
