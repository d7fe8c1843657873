#pragma once
// An object of the world with a pose in the world frame.

#include <ignition/math/Pose3.hh>

#include "gazebo/physics/Base.hh"

namespace gazebo {
namespace physics {

class Entity : public Base {
public:
  using Base::Base;

  // World thread; the pose in the world frame. No allocation.
  const ignition::math::Pose3d& WorldPose() const { return world_pose_; }
  // World thread; moves the frame (the world recomputes poses every step).
  void SetWorldPose(const ignition::math::Pose3d& pose) { world_pose_ = pose; }

private:
  ignition::math::Pose3d world_pose_;
};

}  // namespace physics
}  // namespace gazebo
