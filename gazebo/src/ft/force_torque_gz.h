#pragma once
// One simulated force-torque sensor served as an "ft_gz" device: force, then
// torque, narrowed to float.

#include <memory>

#include <gazebo/sensors/SensorTypes.hh>

#include "devices/device_tpl_common.h"
#include "devices/sensor_records.h"

class ForceTorqueGz : public Orvo::Hal::DeviceTplCommon<Orvo::Hal::ft_rx, Orvo::Hal::ft_tx> {
public:
  // Simulator loading thread; allocates.
  ForceTorqueGz(Orvo::Hal::DeviceInfo info, std::shared_ptr<gazebo::sensors::ForceTorqueSensor> sensor);
  ~ForceTorqueGz() override = default;

  // World-update thread; no allocation, never throws.
  bool sense() override;
  // World-update thread; does nothing.
  bool move() override { return true; }

private:
  std::shared_ptr<gazebo::sensors::ForceTorqueSensor> _sensor;
};
