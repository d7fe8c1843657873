#include "gazebo/sensors/Sensor.hh"

namespace gazebo {
namespace sensors {

Sensor::Sensor(const std::string& name, const std::string& type, const std::string& scoped_name,
               const std::string& parent_name, const ignition::math::Pose3d& pose)
    : name_(name), type_(type), scoped_name_(scoped_name), parent_name_(parent_name), pose_(pose) {}

}  // namespace sensors
}  // namespace gazebo
