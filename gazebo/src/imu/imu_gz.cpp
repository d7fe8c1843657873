#include "imu/imu_gz.h"

#include <utility>

#include <gazebo/sensors/ImuSensor.hh>

ImuGz::ImuGz(Orvo::Hal::DeviceInfo info, std::shared_ptr<gazebo::sensors::ImuSensor> sensor)
    : DeviceTplCommon(std::move(info)), _sensor(std::move(sensor)) {}

bool ImuGz::sense() {
  _rx.ang_vel_x = static_cast<float>(_sensor->AngularVelocity(false).X());
  _rx.ang_vel_y = static_cast<float>(_sensor->AngularVelocity(false).Y());
  _rx.ang_vel_z = static_cast<float>(_sensor->AngularVelocity(false).Z());
  _rx.lin_acc_x = static_cast<float>(_sensor->LinearAcceleration(false).X());
  _rx.lin_acc_y = static_cast<float>(_sensor->LinearAcceleration(false).Y());
  _rx.lin_acc_z = static_cast<float>(_sensor->LinearAcceleration(false).Z());
  _rx.quat_x = static_cast<float>(_sensor->Orientation().X());
  _rx.quat_y = static_cast<float>(_sensor->Orientation().Y());
  _rx.quat_z = static_cast<float>(_sensor->Orientation().Z());
  _rx.quat_w = static_cast<float>(_sensor->Orientation().W());
  return true;
}
