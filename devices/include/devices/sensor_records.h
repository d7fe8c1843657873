#pragma once
// Records of the sensor devices. Their tx records are empty: every device has
// the same rx/tx shape. The layouts cross process boundaries as raw bytes.

#include <cstddef>

namespace Orvo {
namespace Hal {

// 40 bytes: angular velocity, linear acceleration, orientation (x, y, z, w).
struct imu_rx {
  float ang_vel_x, ang_vel_y, ang_vel_z;
  float lin_acc_x, lin_acc_y, lin_acc_z;
  float quat_x, quat_y, quat_z, quat_w;
};
struct imu_tx {};

// 24 bytes: force, then torque.
struct ft_rx {
  float force_x, force_y, force_z;
  float torque_x, torque_y, torque_z;
};
struct ft_tx {};

// 104 bytes: position, orientation (x, y, z, w), linear then angular velocity.
struct LinkStateSensorRx {
  double pos_x, pos_y, pos_z;
  double quat_x, quat_y, quat_z, quat_w;
  double lin_vel_x, lin_vel_y, lin_vel_z;
  double ang_vel_x, ang_vel_y, ang_vel_z;
};
struct LinkStateSensorTx {};

static_assert(sizeof(imu_rx) == 40 && offsetof(imu_rx, quat_w) == 36, "imu_rx layout");
static_assert(sizeof(ft_rx) == 24 && offsetof(ft_rx, torque_x) == 12, "ft_rx layout");
static_assert(sizeof(LinkStateSensorRx) == 104 && offsetof(LinkStateSensorRx, quat_x) == 24 &&
                  offsetof(LinkStateSensorRx, lin_vel_x) == 56 &&
                  offsetof(LinkStateSensorRx, ang_vel_x) == 80,
              "LinkStateSensorRx layout");
static_assert(sizeof(imu_tx) == 1 && sizeof(ft_tx) == 1 && sizeof(LinkStateSensorTx) == 1,
              "empty tx records are one byte");

}  // namespace Hal
}  // namespace Orvo
