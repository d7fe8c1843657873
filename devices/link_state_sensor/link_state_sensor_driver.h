#pragma once
// Driver side of the link-state sensors: plain drivers whose records the
// device channel fills, in a container that exchanges them with the
// simulator's link-state server on the channel "link_state_sensor".

#include <vector>

#include "devices/device_driver_tpl.h"
#include "devices/sensor_driver_container.h"
#include "devices/sensor_records.h"

namespace Orvo {
namespace Hal {

class LinkStateSensorDriver : public DeviceDriverTpl<LinkStateSensorRx, LinkStateSensorTx> {
public:
  using DeviceDriverTpl::DeviceDriverTpl;
};

class LinkStateSensorDriverContainer : public SensorDriverContainer<LinkStateSensorDriver> {
public:
  // Set-up; allocates. Throws what the drivers or the client manager throw.
  explicit LinkStateSensorDriverContainer(std::vector<DeviceInfo> infos)
      : SensorDriverContainer(std::move(infos), "link_state_sensor") {}
};

}  // namespace Hal
}  // namespace Orvo
