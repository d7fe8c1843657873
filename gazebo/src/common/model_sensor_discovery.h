#pragma once
// Discovery of the sensor servers: the simulator's sensors of one type whose
// scoped name contains "::<model>::", each made a device named after the
// sensor's short name, with the id 0, in the sensor manager's order.

#include <iostream>
#include <memory>
#include <string>

#include <fmt/format.h>

#include <gazebo/physics/Model.hh>
#include <gazebo/sensors/Sensor.hh>
#include <gazebo/sensors/SensorManager.hh>

#include "common/device_server_cycle.h"

namespace Orvo {

// Simulator loading thread; allocates. Appends one Device(info, typed sensor)
// per matching sensor to `devices`, and prints `found_line` (one "{}" for the
// scoped name) to the standard output for each. Sensors of other types or
// other models are passed over silently.
template <typename Sensor, typename Device>
void discover_model_sensors(const gazebo::physics::Model& model, const std::string& device_type,
                            const char* found_line, GzDeviceList& devices) {
  const std::string key = "::" + model.GetName() + "::";
  for (const gazebo::sensors::SensorPtr& sensor : gazebo::sensors::SensorManager::Instance()->GetSensors()) {
    if (sensor->ScopedName().find(key) == std::string::npos) continue;
    std::shared_ptr<Sensor> typed = std::dynamic_pointer_cast<Sensor>(sensor);
    if (!typed) continue;
    std::cout << fmt::format(fmt::runtime(found_line), sensor->ScopedName());
    devices.push_back(std::make_shared<Device>(Hal::DeviceInfo{sensor->Name(), device_type, 0}, typed));
  }
}

}  // namespace Orvo
