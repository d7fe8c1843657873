#pragma once
// A rigid body of a model: its mass properties and its state in the world frame.

#include <ignition/math/Matrix3.hh>
#include <ignition/math/Pose3.hh>
#include <ignition/math/Vector3.hh>

#include "gazebo/physics/Entity.hh"

namespace gazebo {
namespace physics {

class Link : public Entity {
public:
  // inertial_pose: centre of mass and inertia axes in the link frame;
  // inertia: about the centre of mass, in the link frame's axes.
  Link(const std::string& name, const std::string& model_name, double mass,
       const ignition::math::Pose3d& inertial_pose, const ignition::math::Matrix3d& inertia);

  // World thread; velocity of the link frame's origin in the world frame. No allocation.
  ignition::math::Vector3d WorldLinearVel() const { return linear_vel_; }
  // World thread; angular velocity in the world frame. No allocation.
  ignition::math::Vector3d WorldAngularVel() const { return angular_vel_; }
  // World thread; centre of mass in the world frame. No allocation.
  ignition::math::Vector3d WorldCoGPose() const;
  // World thread; set by the world's kinematics every step.
  void SetLinearVel(const ignition::math::Vector3d& v) { linear_vel_ = v; }
  void SetAngularVel(const ignition::math::Vector3d& w) { angular_vel_ = w; }

  // Any thread; mass properties as described.
  double Mass() const { return mass_; }
  const ignition::math::Pose3d& InertialPose() const { return inertial_pose_; }
  const ignition::math::Matrix3d& Inertia() const { return inertia_; }

private:
  double mass_;
  ignition::math::Pose3d inertial_pose_;
  ignition::math::Matrix3d inertia_;
  ignition::math::Vector3d linear_vel_;
  ignition::math::Vector3d angular_vel_;
};

}  // namespace physics
}  // namespace gazebo
