#pragma once
// A force-torque sensor on a joint. It reads the wrench transmitted through the
// joint: the gravity load of the links that move with the child, except about
// (or along) the joint's axis, where it carries the effort applied during the
// last step. The torque is taken about the sensor's origin.

#include <ignition/math/Vector3.hh>

#include "gazebo/physics/PhysicsTypes.hh"
#include "gazebo/sensors/Sensor.hh"

namespace gazebo {
namespace sensors {

class ForceTorqueSensor : public Sensor {
public:
  // The frame the wrench is expressed in.
  enum class Frame { PARENT, CHILD, SENSOR };

  // parent_to_child: true for the wrench the parent applies on the child,
  // false for the opposite one.
  ForceTorqueSensor(const std::string& name, const std::string& scoped_name, physics::JointPtr joint,
                    const ignition::math::Pose3d& pose, const ignition::math::Vector3d& gravity,
                    Frame frame, bool parent_to_child);

  // World thread; N. No allocation.
  ignition::math::Vector3d Force() const { return force_; }
  // World thread; N m. No allocation.
  ignition::math::Vector3d Torque() const { return torque_; }
  // Any thread; the joint it is attached to.
  physics::JointPtr Joint() const { return joint_; }

  void UpdateFromWorld(double step) override;

private:
  physics::JointPtr joint_;
  ignition::math::Vector3d gravity_;
  Frame frame_;
  bool parent_to_child_;
  ignition::math::Vector3d force_;
  ignition::math::Vector3d torque_;
};

}  // namespace sensors
}  // namespace gazebo
