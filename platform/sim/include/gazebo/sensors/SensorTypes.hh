#pragma once
// Handles on the simulator's sensors.

#include <memory>
#include <vector>

namespace gazebo {
namespace sensors {

class Sensor;
class ImuSensor;
class ForceTorqueSensor;
class SensorManager;

using SensorPtr = std::shared_ptr<Sensor>;
using ImuSensorPtr = std::shared_ptr<ImuSensor>;
using ForceTorqueSensorPtr = std::shared_ptr<ForceTorqueSensor>;
using Sensor_V = std::vector<SensorPtr>;

}  // namespace sensors
}  // namespace gazebo
