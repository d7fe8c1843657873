#pragma once
// One simulated IMU served as an "imu_gz" device: angular velocity, linear
// acceleration and orientation (stored x, y, z, w), narrowed to float.

#include <memory>

#include <gazebo/sensors/SensorTypes.hh>

#include "devices/device_tpl_common.h"
#include "devices/sensor_records.h"

class ImuGz : public Orvo::Hal::DeviceTplCommon<Orvo::Hal::imu_rx, Orvo::Hal::imu_tx> {
public:
  // Simulator loading thread; allocates.
  ImuGz(Orvo::Hal::DeviceInfo info, std::shared_ptr<gazebo::sensors::ImuSensor> sensor);
  ~ImuGz() override = default;

  // World-update thread; no allocation, never throws.
  bool sense() override;
  // World-update thread; does nothing.
  bool move() override { return true; }

private:
  std::shared_ptr<gazebo::sensors::ImuSensor> _sensor;
};
