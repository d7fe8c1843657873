#pragma once
// What consumers see of an inertial measurement unit: the last sensed angular
// velocity, linear acceleration and orientation. Reached from a device by a
// dynamic cast.

#include <Eigen/Core>
#include <Eigen/Geometry>

#include "orvo2/devices/device_base.h"

namespace Orvo {
namespace Hal {

class Imu : public virtual DeviceBase {
public:
  // Owner's thread; never block, allocate or fail.
  virtual Eigen::Vector3d getAngularVelocity() const = 0;
  virtual Eigen::Vector3d getLinearAcceleration() const = 0;
  // As sensed, not normalised.
  virtual Eigen::Quaterniond getOrientation() const = 0;
  ~Imu() override = default;
};

}  // namespace Hal
}  // namespace Orvo
