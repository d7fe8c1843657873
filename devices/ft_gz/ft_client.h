#pragma once
// Client-side force-torque sensor: the wrench of its rx record, widened to
// double precision.

#include "devices/device_client_tpl.h"
#include "devices/sensor_records.h"
#include "orvo2/devices/force_torque.h"

namespace Orvo {
namespace Hal {

class FtClient : public virtual ForceTorque, public DeviceClientTpl<ft_rx, ft_tx> {
public:
  // Set-up; allocates. Throws TopicBadType on a topic type clash.
  explicit FtClient(DeviceInfo info) : DeviceClientTpl(std::move(info)) {}

  // Owner's thread; never blocks, allocates or fails.
  Eigen::Matrix<double, 6, 1> getWrench() const override;
};

}  // namespace Hal
}  // namespace Orvo
