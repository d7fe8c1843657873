#include "gazebo/physics/Link.hh"

namespace gazebo {
namespace physics {

Link::Link(const std::string& name, const std::string& model_name, double mass,
           const ignition::math::Pose3d& inertial_pose, const ignition::math::Matrix3d& inertia)
    : Entity(name, model_name + "::" + name, ENTITY | LINK),
      mass_(mass),
      inertial_pose_(inertial_pose),
      inertia_(inertia) {}

ignition::math::Vector3d Link::WorldCoGPose() const {
  return WorldPose().Pos() + WorldPose().Rot().RotateVector(inertial_pose_.Pos());
}

}  // namespace physics
}  // namespace gazebo
