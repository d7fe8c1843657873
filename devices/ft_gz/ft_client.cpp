#include "ft_client.h"

namespace Orvo {
namespace Hal {

Eigen::Matrix<double, 6, 1> FtClient::getWrench() const {
  Eigen::Matrix<double, 6, 1> wrench;
  wrench << _rx.force_x, _rx.force_y, _rx.force_z, _rx.torque_x, _rx.torque_y, _rx.torque_z;
  return wrench;
}

}  // namespace Hal
}  // namespace Orvo
