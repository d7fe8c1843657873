#include "gazebo/sensors/ImuSensor.hh"

#include "gazebo/physics/Link.hh"

namespace gazebo {
namespace sensors {

ImuSensor::ImuSensor(const std::string& name, const std::string& scoped_name, physics::LinkPtr link,
                     const ignition::math::Pose3d& pose, const ignition::math::Vector3d& gravity)
    : Sensor(name, "imu", scoped_name, link->GetScopedName(), pose),
      link_(std::move(link)),
      gravity_(gravity) {}

void ImuSensor::UpdateFromWorld(double step) {
  const ignition::math::Pose3d& link_pose = link_->WorldPose();
  const ignition::math::Vector3d w = link_->WorldAngularVel();
  const ignition::math::Vector3d offset = link_pose.Rot().RotateVector(Pose().Pos());
  const ignition::math::Vector3d velocity = link_->WorldLinearVel() + w.Cross(offset);

  ignition::math::Vector3d acceleration = ignition::math::Vector3d::Zero;
  if (has_last_velocity_ && step > 0) acceleration = (velocity - last_velocity_) / step;
  last_velocity_ = velocity;
  has_last_velocity_ = true;

  orientation_ = link_pose.Rot() * Pose().Rot();
  angular_velocity_ = orientation_.RotateVectorReverse(w);
  linear_acceleration_ = orientation_.RotateVectorReverse(acceleration - gravity_);
}

}  // namespace sensors
}  // namespace gazebo
