#pragma once
// Client-side IMU: angular velocity, linear acceleration and orientation of
// its rx record, widened to double precision.

#include "devices/device_client_tpl.h"
#include "devices/sensor_records.h"
#include "orvo2/devices/imu.h"

namespace Orvo {
namespace Hal {

class ImuClient : public virtual Imu, public DeviceClientTpl<imu_rx, imu_tx> {
public:
  // Set-up; allocates. Throws TopicBadType on a topic type clash.
  explicit ImuClient(DeviceInfo info) : DeviceClientTpl(std::move(info)) {}

  // Owner's thread; never block, allocate or fail. The orientation is the
  // stored quaternion, not normalised.
  Eigen::Vector3d getAngularVelocity() const override;
  Eigen::Vector3d getLinearAcceleration() const override;
  Eigen::Quaterniond getOrientation() const override;
};

}  // namespace Hal
}  // namespace Orvo
