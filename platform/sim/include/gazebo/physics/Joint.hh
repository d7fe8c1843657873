#pragma once
// A joint between two links with at most one axis: revolute (hinge), prismatic
// (slider) or fixed.
//
// Dynamics of one step (Integrate): the efforts set since the previous step,
// clamped to the effort limit, accelerate the joint's inertia about (or mass
// along) its axis; viscous damping is integrated implicitly and Coulomb
// friction holds the joint while the effort cannot overcome it; velocity, then
// position (semi-implicit Euler); a position limit stops the joint and its
// velocity towards the limit. Gravity does not act on the joints.

#include <limits>
#include <string>

#include <ignition/math/Pose3.hh>
#include <ignition/math/Vector3.hh>

#include "gazebo/physics/Entity.hh"
#include "gazebo/physics/PhysicsTypes.hh"

namespace gazebo {
namespace physics {

// How a joint is built; poses are taken with the joint at position 0.
struct JointProperties {
  Base::EntityType kind = Base::FIXED_JOINT;  // HINGE_JOINT, SLIDER_JOINT or FIXED_JOINT
  ignition::math::Vector3d axis{0, 0, 1};     // unit vector in the joint frame
  ignition::math::Pose3d parent_to_joint;     // joint frame in the parent link frame (world frame without parent)
  ignition::math::Pose3d joint_to_child;      // child link frame in the joint frame
  double lower = -std::numeric_limits<double>::infinity();
  double upper = std::numeric_limits<double>::infinity();
  double effort_limit = -1;  // negative: unlimited
  double damping = 0;        // N m s/rad or N s/m
  double friction = 0;       // N m or N
  double inertia = 1;        // kg m^2 about the axis, or kg along it
};

class Joint : public Entity {
public:
  // parent: null when the joint attaches the child to the world.
  Joint(const std::string& name, const std::string& model_name, LinkPtr parent, LinkPtr child,
        const JointProperties& properties);

  // Any thread; 1, or 0 for a fixed joint.
  unsigned int DOF() const { return kind_ == FIXED_JOINT ? 0 : 1; }
  // World thread; position (rad or m) of axis index; 0 for a missing axis. No allocation.
  double Position(unsigned int index = 0) const { return index < DOF() ? position_ : 0.0; }
  // World thread; velocity of axis index; 0 for a missing axis. No allocation.
  double GetVelocity(unsigned int index) const { return index < DOF() ? velocity_ : 0.0; }
  // World thread; effort applied on axis index during the last step (after the
  // effort limit). No allocation.
  double GetForce(unsigned int index) const { return index < DOF() ? applied_ : 0.0; }
  // World thread; adds effort on axis index for the next step (efforts set
  // within one step add up); ignored for a missing axis. No allocation.
  void SetForce(unsigned int index, double effort);
  // World thread or set-up; places axis index (clamped to the limits) and, unless
  // preserveWorldVelocity, stops it. False for a missing axis. Child poses follow
  // at the next kinematics update.
  bool SetPosition(unsigned int index, double position, bool preserveWorldVelocity = false);
  // World thread or set-up; sets the velocity of axis index.
  void SetVelocity(unsigned int index, double velocity);

  // World thread; the axis in the world frame. No allocation.
  ignition::math::Vector3d GlobalAxis(unsigned int index) const;
  // Any thread; the axis in the joint frame.
  ignition::math::Vector3d LocalAxis(unsigned int index) const { return axis_; }
  // Any thread; limits and dynamics as described.
  double LowerLimit(unsigned int index = 0) const { return lower_; }
  double UpperLimit(unsigned int index = 0) const { return upper_; }
  double GetEffortLimit(unsigned int index) const { return effort_limit_; }
  double GetDamping(unsigned int index) const { return damping_; }
  double GetFriction(unsigned int index) const { return friction_; }
  double Inertia() const { return inertia_; }
  // Set-up; kg m^2 about the axis or kg along it (> 0).
  void SetInertia(double inertia) { inertia_ = inertia; }

  // Any thread; the links it connects (parent null: the world).
  LinkPtr GetParent() const { return parent_; }
  LinkPtr GetChild() const { return child_; }
  // Set-up; the child and every link that moves with it.
  void SetSubtree(const Link_V& links) { subtree_ = links; }
  const Link_V& Subtree() const { return subtree_; }

  // World thread, once per step; no allocation. See the file comment.
  void Integrate(double step);
  // World thread, parents before children; no allocation. Sets this joint's
  // world pose (its frame, WorldPose) and the child link's pose and velocities.
  void UpdateKinematics();

private:
  Base::EntityType kind_;
  LinkPtr parent_;
  LinkPtr child_;
  ignition::math::Vector3d axis_;
  ignition::math::Pose3d parent_to_joint_;
  ignition::math::Pose3d joint_to_child_;
  double lower_;
  double upper_;
  double effort_limit_;
  double damping_;
  double friction_;
  double inertia_;
  Link_V subtree_;

  double position_ = 0;
  double velocity_ = 0;
  double command_ = 0;  // efforts set for the next step
  double applied_ = 0;  // effort applied during the last step
};

}  // namespace physics
}  // namespace gazebo
