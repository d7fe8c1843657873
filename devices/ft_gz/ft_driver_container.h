#pragma once
// Driver side of the force-torque sensors: plain drivers whose records the
// device channel fills, exchanged with the simulator on the channel "ft_gz".

#include <vector>

#include "devices/device_driver_tpl.h"
#include "devices/sensor_driver_container.h"
#include "devices/sensor_records.h"

namespace Orvo {
namespace Hal {

class FtDriverContainer : public SensorDriverContainer<DeviceDriverTpl<ft_rx, ft_tx>> {
public:
  // Set-up; allocates. Throws what the drivers or the client manager throw.
  explicit FtDriverContainer(std::vector<DeviceInfo> infos)
      : SensorDriverContainer(std::move(infos), "ft_gz") {}
};

}  // namespace Hal
}  // namespace Orvo
