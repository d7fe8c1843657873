#pragma once
// Client-side link-state sensor: the pose and twist of one simulated link
// from the sensor's rx record. The simulator names each sensor after its link
// followed by "_lss".

#include <string>

#include "devices/device_client_tpl.h"
#include "devices/sensor_records.h"
#include "orvo2/devices/link_state_sensor.h"

namespace Orvo {
namespace Hal {

class LinkStateSensorClient : public DeviceClientTpl<LinkStateSensorRx, LinkStateSensorTx>,
                              public virtual LinkStateSensor {
public:
  // Set-up; allocates. Throws std::out_of_range for a device name shorter
  // than its four-character suffix.
  explicit LinkStateSensorClient(DeviceInfo info);

  // Owner's thread; never block, allocate or fail. The quaternion is used as
  // stored, without normalisation.
  Eigen::Affine3d getPose() const override;
  Eigen::Matrix<double, 6, 1> getTwist() const override;
  const std::string& getLinkName() const override { return _link_name; }

private:
  std::string _link_name;
};

}  // namespace Hal
}  // namespace Orvo
