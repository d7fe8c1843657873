#include "joint_state_conversion.h"

#include <limits>

namespace Orvo {

uint16_t temperature_to_u16(float temperature) {
  const double value = temperature;
  if (!(value > -2147483649.0 && value < 2147483648.0)) {
    return 0;
  }
  return static_cast<uint16_t>(static_cast<uint32_t>(static_cast<int32_t>(value)));
}

ros::Time stamp_to_ros_time(int64_t stamp_ns) {
  constexpr int64_t kNsPerSecond = 1000000000;
  if (stamp_ns < 0) {
    return ros::Time(0, 0);
  }
  const int64_t seconds = stamp_ns / kNsPerSecond;
  if (seconds > std::numeric_limits<uint32_t>::max()) {
    return ros::TIME_MAX;
  }
  return ros::Time(static_cast<uint32_t>(seconds),
                   static_cast<uint32_t>(stamp_ns - seconds * kNsPerSecond));
}

bool fill_joint_state(const Hal::JointMasterRx& in, orvo_msgs::JointState& out) {
  const size_t n = in.info.size();
  if (in.rx.size() < n) {
    return false;
  }
  out.name.resize(n);
  out.link_position.resize(n);
  out.motor_position.resize(n);
  out.link_velocity.resize(n);
  out.motor_velocity.resize(n);
  out.effort.resize(n);
  out.temperature_motor.resize(n);
  out.temperature_driver.resize(n);
  out.position_reference.resize(n);
  out.velocity_reference.resize(n);
  out.effort_reference.resize(n);
  out.stiffness.resize(n);
  out.damping.resize(n);
  out.fault.assign(n, 0);
  out.aux.assign(n, 0.0f);

  out.header.stamp = stamp_to_ros_time(in.stamp);

  for (size_t i = 0; i < n; ++i) {
    const Hal::joint_rx& rx = in.rx[i];
    out.name[i] = in.info[i].name;
    out.position_reference[i] = rx.pos_ref;
    out.velocity_reference[i] = rx.vel_ref;
    out.link_position[i] = rx.link_pos;
    out.motor_position[i] = rx.motor_pos;
    out.link_velocity[i] = rx.link_vel;
    out.motor_velocity[i] = rx.motor_vel;
    out.effort[i] = rx.tor;
    out.effort_reference[i] = rx.tor_ref;
    out.stiffness[i] = rx.stiffness;
    out.damping[i] = rx.damping;
    const uint16_t temperature = temperature_to_u16(rx.temp);
    out.temperature_driver[i] = temperature;
    out.temperature_motor[i] = temperature;
  }
  return true;
}

}  // namespace Orvo
