#pragma once
// Model plug-in liborvo2_gz_ft_server: serves the force-torque sensors of its model (found in
// the simulator's sensor manager, see model_sensor_discovery.h) as "ft_gz"
// devices on the "shm" channel "ft_gz". Its model-description element is not read.

#include "common/device_server_plugin.h"

namespace Orvo {

class GzFtServer : public GzDeviceServer {
public:
  GzFtServer();

private:
  // Simulator loading thread, from Load() only; allocates, prints.
  // Finds the sensors.
  void discover_devices(const gazebo::physics::ModelPtr& model,
                        const sdf::ElementPtr& plugin_element, GzDeviceList& devices) override;
};

}  // namespace Orvo
