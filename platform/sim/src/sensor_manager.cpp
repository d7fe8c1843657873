#include "gazebo/sensors/SensorManager.hh"

#include <algorithm>

#include "gazebo/sensors/Sensor.hh"

namespace gazebo {
namespace sensors {

SensorManager* SensorManager::Instance() {
  static SensorManager* manager = new SensorManager;
  return manager;
}

Sensor_V SensorManager::GetSensors() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return sensors_;
}

SensorPtr SensorManager::GetSensor(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const SensorPtr& sensor : sensors_)
    if (sensor->Name() == name || sensor->ScopedName() == name) return sensor;
  return nullptr;
}

void SensorManager::AddSensor(const SensorPtr& sensor) {
  std::lock_guard<std::mutex> lock(mutex_);
  sensors_.push_back(sensor);
}

void SensorManager::RemoveSensor(const SensorPtr& sensor) {
  std::lock_guard<std::mutex> lock(mutex_);
  sensors_.erase(std::remove(sensors_.begin(), sensors_.end(), sensor), sensors_.end());
}

}  // namespace sensors
}  // namespace gazebo
