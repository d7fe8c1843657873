#include "gazebo/physics/Joint.hh"

#include <algorithm>
#include <cmath>

#include "gazebo/physics/Link.hh"

namespace gazebo {
namespace physics {

namespace {
unsigned int joint_type(Base::EntityType kind) {
  return Base::ENTITY | Base::JOINT | kind;
}
double sign(double x) {
  return x > 0 ? 1.0 : (x < 0 ? -1.0 : 0.0);
}
}  // namespace

Joint::Joint(const std::string& name, const std::string& model_name, LinkPtr parent, LinkPtr child,
             const JointProperties& p)
    : Entity(name, model_name + "::" + name, joint_type(p.kind)),
      kind_(p.kind),
      parent_(std::move(parent)),
      child_(std::move(child)),
      axis_(p.axis),
      parent_to_joint_(p.parent_to_joint),
      joint_to_child_(p.joint_to_child),
      lower_(p.lower),
      upper_(p.upper),
      effort_limit_(p.effort_limit),
      damping_(p.damping),
      friction_(p.friction),
      inertia_(p.inertia) {}

void Joint::SetForce(unsigned int index, double effort) {
  if (index < DOF()) command_ += effort;
}

bool Joint::SetPosition(unsigned int index, double position, bool preserveWorldVelocity) {
  if (index >= DOF()) return false;
  position_ = std::clamp(position, lower_, upper_);
  if (!preserveWorldVelocity) velocity_ = 0;
  return true;
}

void Joint::SetVelocity(unsigned int index, double velocity) {
  if (index < DOF()) velocity_ = velocity;
}

ignition::math::Vector3d Joint::GlobalAxis(unsigned int index) const {
  return WorldPose().Rot().RotateVector(axis_);
}

void Joint::Integrate(double step) {
  double effort = command_;
  command_ = 0;
  if (effort_limit_ >= 0) effort = std::clamp(effort, -effort_limit_, effort_limit_);
  applied_ = DOF() ? effort : 0.0;
  if (!DOF()) return;

  // Coulomb friction: holds a joint at rest unless the effort overcomes it,
  // and otherwise opposes the motion.
  double drive = effort;
  if (friction_ > 0) {
    if (velocity_ == 0)
      drive = std::abs(effort) <= friction_ ? 0.0 : effort - friction_ * sign(effort);
    else
      drive = effort - friction_ * sign(velocity_);
  }
  double v = (velocity_ + step * drive / inertia_) / (1.0 + step * damping_ / inertia_);
  // Friction stops a joint; it never reverses it.
  if (friction_ > 0 && velocity_ != 0 && v * velocity_ < 0 && std::abs(effort) <= friction_) v = 0;

  double q = position_ + step * v;
  if (q > upper_) {
    q = upper_;
    v = std::min(v, 0.0);
  } else if (q < lower_) {
    q = lower_;
    v = std::max(v, 0.0);
  }
  position_ = q;
  velocity_ = v;
}

void Joint::UpdateKinematics() {
  using ignition::math::Pose3d;
  using ignition::math::Quaterniond;
  using ignition::math::Vector3d;

  const Pose3d parent_pose = parent_ ? parent_->WorldPose() : Pose3d::Zero;
  const Vector3d parent_w = parent_ ? parent_->WorldAngularVel() : Vector3d::Zero;
  const Vector3d parent_v = parent_ ? parent_->WorldLinearVel() : Vector3d::Zero;

  Pose3d motion;
  if (kind_ == HINGE_JOINT) motion = Pose3d(Vector3d::Zero, Quaterniond(axis_, position_));
  if (kind_ == SLIDER_JOINT) motion = Pose3d(axis_ * position_, Quaterniond::Identity);
  const Pose3d joint_pose = parent_pose * parent_to_joint_ * motion;
  SetWorldPose(joint_pose);
  const Pose3d child_pose = joint_pose * joint_to_child_;

  const Vector3d axis = joint_pose.Rot().RotateVector(axis_);
  Vector3d w = parent_w;
  Vector3d v = parent_v + parent_w.Cross(child_pose.Pos() - parent_pose.Pos());
  if (kind_ == HINGE_JOINT) {
    w += axis * velocity_;
    v += (axis * velocity_).Cross(child_pose.Pos() - joint_pose.Pos());
  } else if (kind_ == SLIDER_JOINT) {
    v += axis * velocity_;
  }
  child_->SetWorldPose(child_pose);
  child_->SetAngularVel(w);
  child_->SetLinearVel(v);
}

}  // namespace physics
}  // namespace gazebo
