#include "gazebo/physics/Model.hh"

#include "gazebo/physics/Joint.hh"
#include "gazebo/physics/Link.hh"

namespace gazebo {
namespace physics {

Model::Model(const std::string& name, const ignition::math::Pose3d& pose, sdf::ElementPtr sdf,
             bool is_static)
    : Entity(name, name, ENTITY | MODEL), sdf_(std::move(sdf)), static_(is_static) {
  SetWorldPose(pose);
}

JointPtr Model::GetJoint(const std::string& name) const {
  for (const JointPtr& joint : joints_)
    if (joint->GetName() == name) return joint;
  return nullptr;
}

LinkPtr Model::GetLink(const std::string& name) const {
  if (name == "canonical") return links_.empty() ? nullptr : links_.front();
  for (const LinkPtr& link : links_)
    if (link->GetName() == name) return link;
  return nullptr;
}

void Model::Integrate(double step) {
  if (static_) return;
  for (const JointPtr& joint : joints_) joint->Integrate(step);
}

void Model::UpdateKinematics() {
  for (const JointPtr& joint : kinematic_order_) joint->UpdateKinematics();
}

}  // namespace physics
}  // namespace gazebo
