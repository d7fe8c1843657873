#pragma once
// A sensor attached to a link or a joint. Readings are exact (no noise) and are
// refreshed by the world after the kinematics of every step.

#include <string>

#include <ignition/math/Pose3.hh>

#include "gazebo/sensors/SensorTypes.hh"

namespace gazebo {
namespace sensors {

class Sensor {
public:
  // scoped_name: "world::model::parent::name"; parent_name: "model::parent";
  // pose: the sensor frame in its parent's frame.
  Sensor(const std::string& name, const std::string& type, const std::string& scoped_name,
         const std::string& parent_name, const ignition::math::Pose3d& pose);
  Sensor(const Sensor&) = delete;
  Sensor& operator=(const Sensor&) = delete;
  virtual ~Sensor() = default;

  // Any thread.
  std::string Name() const { return name_; }
  std::string ScopedName() const { return scoped_name_; }
  // "imu" or "force_torque".
  std::string Type() const { return type_; }
  // Scoped name of the link or joint the sensor is attached to.
  std::string ParentName() const { return parent_name_; }
  ignition::math::Pose3d Pose() const { return pose_; }
  bool IsActive() const { return true; }

  // World thread, once per step after the kinematics; no allocation.
  // step: seconds since the previous update (0 for an update without a step).
  virtual void UpdateFromWorld(double step) = 0;

private:
  std::string name_;
  std::string type_;
  std::string scoped_name_;
  std::string parent_name_;
  ignition::math::Pose3d pose_;
};

}  // namespace sensors
}  // namespace gazebo
