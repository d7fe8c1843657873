#pragma once
// The process's sensor registry. Worlds add their sensors when they are built
// and remove them when they are destroyed.

#include <mutex>
#include <string>

#include "gazebo/sensors/SensorTypes.hh"

namespace gazebo {
namespace sensors {

class SensorManager {
public:
  // Any thread; the single instance (never destroyed).
  static SensorManager* Instance();

  // Any thread; every sensor, in the order they were added. Locks and allocates.
  Sensor_V GetSensors() const;
  // Any thread; the sensor with that name or scoped name, or null. Locks.
  SensorPtr GetSensor(const std::string& name) const;
  // Set-up; locks.
  void AddSensor(const SensorPtr& sensor);
  void RemoveSensor(const SensorPtr& sensor);

private:
  SensorManager() = default;
  mutable std::mutex mutex_;
  Sensor_V sensors_;
};

}  // namespace sensors
}  // namespace gazebo
