#pragma once
// A model: its links and joints, found by name, and its description element.
// The root links (children of no joint) stay where the description puts them;
// every other link follows its joint chain.

#include <string>

#include <sdf/Element.hh>

#include "gazebo/physics/Entity.hh"
#include "gazebo/physics/PhysicsTypes.hh"

namespace gazebo {
namespace physics {

class Model : public Entity {
public:
  // sdf: the model element of the description (with its plugin elements).
  Model(const std::string& name, const ignition::math::Pose3d& pose, sdf::ElementPtr sdf,
        bool is_static);

  // Any thread; joints in description order.
  const Joint_V& GetJoints() const { return joints_; }
  unsigned int GetJointCount() const { return static_cast<unsigned int>(joints_.size()); }
  // Any thread; the joint of that name, or null. Allocates nothing; not for the cycle (linear search).
  JointPtr GetJoint(const std::string& name) const;
  // Any thread; links in description order.
  const Link_V& GetLinks() const { return links_; }
  // Any thread; the link of that name ("canonical": the first link), or null.
  LinkPtr GetLink(const std::string& name = "canonical") const;
  // Any thread; the model element of the description.
  sdf::ElementPtr GetSDF() const { return sdf_; }
  // Any thread; a static model never moves.
  bool IsStatic() const { return static_; }

  // Set-up: a link (a root link gets its world pose from the caller).
  void AddLink(const LinkPtr& link) { links_.push_back(link); }
  // Set-up: a joint, in description order.
  void AddJoint(const JointPtr& joint) { joints_.push_back(joint); }
  // Set-up: the joints, every parent link's joint before its children's.
  void SetKinematicOrder(const Joint_V& order) { kinematic_order_ = order; }

  // World thread, once per step; no allocation. Joint dynamics.
  void Integrate(double step);
  // World thread; no allocation. Link poses and velocities from the joints.
  void UpdateKinematics();

private:
  sdf::ElementPtr sdf_;
  bool static_;
  Link_V links_;
  Joint_V joints_;
  Joint_V kinematic_order_;
};

}  // namespace physics
}  // namespace gazebo
