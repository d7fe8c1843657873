#pragma once
// Model plug-in liborvo2_gz_imu_server: serves the IMU sensors of its model (found in
// the simulator's sensor manager, see model_sensor_discovery.h) as "imu_gz"
// devices on the "shm" channel "imu_gz". Its model-description element is not read.

#include "common/device_server_plugin.h"

namespace Orvo {

class GzImuServer : public GzDeviceServer {
public:
  GzImuServer();

private:
  // Simulator loading thread, from Load() only; allocates, prints.
  // Finds the sensors.
  void discover_devices(const gazebo::physics::ModelPtr& model,
                        const sdf::ElementPtr& plugin_element, GzDeviceList& devices) override;
};

}  // namespace Orvo
