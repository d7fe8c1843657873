#include "link_state_sensor_client.h"

#include <stdexcept>

namespace Orvo {
namespace Hal {
namespace {

constexpr size_t kSuffixLength = 4;  // "_lss"

std::string link_name_of(const std::string& device_name) {
  if (device_name.size() < kSuffixLength) {
    throw std::out_of_range("link-state sensor '" + device_name +
                            "': name shorter than its \"_lss\" suffix");
  }
  return device_name.substr(0, device_name.size() - kSuffixLength);
}

}  // namespace

LinkStateSensorClient::LinkStateSensorClient(DeviceInfo info)
    : DeviceClientTpl(std::move(info)), _link_name(link_name_of(get_name())) {}

Eigen::Affine3d LinkStateSensorClient::getPose() const {
  const double x = _rx.quat_x;
  const double y = _rx.quat_y;
  const double z = _rx.quat_z;
  const double w = _rx.quat_w;
  Eigen::Affine3d pose;
  pose.matrix() << 1 - 2 * (y * y + z * z), 2 * (x * y - z * w), 2 * (x * z + y * w), _rx.pos_x,
      2 * (x * y + z * w), 1 - 2 * (x * x + z * z), 2 * (y * z - x * w), _rx.pos_y,
      2 * (x * z - y * w), 2 * (y * z + x * w), 1 - 2 * (x * x + y * y), _rx.pos_z,
      0, 0, 0, 1;
  return pose;
}

Eigen::Matrix<double, 6, 1> LinkStateSensorClient::getTwist() const {
  Eigen::Matrix<double, 6, 1> twist;
  twist << _rx.lin_vel_x, _rx.lin_vel_y, _rx.lin_vel_z, _rx.ang_vel_x, _rx.ang_vel_y, _rx.ang_vel_z;
  return twist;
}

}  // namespace Hal
}  // namespace Orvo
