#pragma once
// What consumers see of a link-state sensor: the pose and velocity of one
// link, as last sensed. Reached from a device by a dynamic cast.

#include <string>

#include <Eigen/Geometry>

#include "orvo2/devices/device_base.h"

namespace Orvo {
namespace Hal {

class LinkStateSensor : public virtual DeviceBase {
public:
  // Owner's thread; never block, allocate or fail.
  virtual Eigen::Affine3d getPose() const = 0;
  // Linear velocity x, y, z, then angular velocity x, y, z.
  virtual Eigen::Matrix<double, 6, 1> getTwist() const = 0;
  // Any thread; valid for the life of the device.
  virtual const std::string& getLinkName() const = 0;
  ~LinkStateSensor() override = default;
};

}  // namespace Hal
}  // namespace Orvo
