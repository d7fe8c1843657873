#pragma once
// Driver side of the IMUs: plain drivers whose records the device channel
// fills, exchanged with the simulator on the channel "imu_gz".

#include <vector>

#include "devices/device_driver_tpl.h"
#include "devices/sensor_driver_container.h"
#include "devices/sensor_records.h"

namespace Orvo {
namespace Hal {

class ImuDriverContainer : public SensorDriverContainer<DeviceDriverTpl<imu_rx, imu_tx>> {
public:
  // Set-up; allocates. Throws what the drivers or the client manager throw.
  explicit ImuDriverContainer(std::vector<DeviceInfo> infos)
      : SensorDriverContainer(std::move(infos), "imu_gz") {}
};

}  // namespace Hal
}  // namespace Orvo
