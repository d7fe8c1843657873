#include "ft/force_torque_gz.h"

#include <utility>

#include <gazebo/sensors/ForceTorqueSensor.hh>

ForceTorqueGz::ForceTorqueGz(Orvo::Hal::DeviceInfo info,
                             std::shared_ptr<gazebo::sensors::ForceTorqueSensor> sensor)
    : DeviceTplCommon(std::move(info)), _sensor(std::move(sensor)) {}

bool ForceTorqueGz::sense() {
  _rx.force_x = static_cast<float>(_sensor->Force().X());
  _rx.force_y = static_cast<float>(_sensor->Force().Y());
  _rx.force_z = static_cast<float>(_sensor->Force().Z());
  _rx.torque_x = static_cast<float>(_sensor->Torque().X());
  _rx.torque_y = static_cast<float>(_sensor->Torque().Y());
  _rx.torque_z = static_cast<float>(_sensor->Torque().Z());
  return true;
}
