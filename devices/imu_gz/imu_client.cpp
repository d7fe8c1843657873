#include "imu_client.h"

namespace Orvo {
namespace Hal {

Eigen::Vector3d ImuClient::getAngularVelocity() const {
  return Eigen::Vector3d(_rx.ang_vel_x, _rx.ang_vel_y, _rx.ang_vel_z);
}

Eigen::Vector3d ImuClient::getLinearAcceleration() const {
  return Eigen::Vector3d(_rx.lin_acc_x, _rx.lin_acc_y, _rx.lin_acc_z);
}

Eigen::Quaterniond ImuClient::getOrientation() const {
  // Eigen's constructor takes w first.
  return Eigen::Quaterniond(_rx.quat_w, _rx.quat_x, _rx.quat_y, _rx.quat_z);
}

}  // namespace Hal
}  // namespace Orvo
