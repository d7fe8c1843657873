#pragma once
// What consumers see of a force-torque sensor: the last sensed wrench.
// Reached from a device by a dynamic cast.

#include <Eigen/Core>

#include "orvo2/devices/device_base.h"

namespace Orvo {
namespace Hal {

class ForceTorque : public virtual DeviceBase {
public:
  // Owner's thread; never block, allocate or fail. Force x, y, z, then
  // torque x, y, z.
  virtual Eigen::Matrix<double, 6, 1> getWrench() const = 0;
  ~ForceTorque() override = default;
};

}  // namespace Hal
}  // namespace Orvo
