#pragma once
// An inertial measurement unit on a link: angular velocity and specific force
// (linear acceleration minus gravity) in the sensor frame, and the sensor's
// orientation in the world frame. The acceleration is the change of the
// sensor point's velocity over the last step.

#include <ignition/math/Quaternion.hh>
#include <ignition/math/Vector3.hh>

#include "gazebo/physics/PhysicsTypes.hh"
#include "gazebo/sensors/Sensor.hh"

namespace gazebo {
namespace sensors {

class ImuSensor : public Sensor {
public:
  ImuSensor(const std::string& name, const std::string& scoped_name, physics::LinkPtr link,
            const ignition::math::Pose3d& pose, const ignition::math::Vector3d& gravity);

  // World thread; rad/s in the sensor frame. Readings carry no noise. No allocation.
  ignition::math::Vector3d AngularVelocity(bool _noiseFree = false) const { return angular_velocity_; }
  // World thread; m/s^2 in the sensor frame (at rest: minus gravity). No allocation.
  ignition::math::Vector3d LinearAcceleration(bool _noiseFree = false) const { return linear_acceleration_; }
  // World thread; the sensor frame's orientation in the world frame. No allocation.
  ignition::math::Quaterniond Orientation() const { return orientation_; }
  // Any thread; the link it is attached to.
  physics::LinkPtr Link() const { return link_; }

  void UpdateFromWorld(double step) override;

private:
  physics::LinkPtr link_;
  ignition::math::Vector3d gravity_;
  ignition::math::Vector3d angular_velocity_;
  ignition::math::Vector3d linear_acceleration_;
  ignition::math::Quaterniond orientation_;
  ignition::math::Vector3d last_velocity_;  // of the sensor point, world frame
  bool has_last_velocity_ = false;
};

}  // namespace sensors
}  // namespace gazebo
