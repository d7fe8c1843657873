#include "link_state/link_state_sensor_gz.h"

#include <utility>

#include <gazebo/physics/Link.hh>

namespace Orvo {

LinkStateSensorGz::LinkStateSensorGz(Hal::DeviceInfo info, gazebo::physics::LinkPtr link)
    : DeviceTplCommon(std::move(info)), _link(std::move(link)) {}

bool LinkStateSensorGz::sense() {
  const ignition::math::Pose3d pose = _link->WorldPose();
  _rx.pos_x = pose.Pos().X();
  _rx.pos_y = pose.Pos().Y();
  _rx.pos_z = pose.Pos().Z();
  _rx.quat_x = pose.Rot().X();
  _rx.quat_y = pose.Rot().Y();
  _rx.quat_z = pose.Rot().Z();
  _rx.quat_w = pose.Rot().W();
  const ignition::math::Vector3d linear = _link->WorldLinearVel();
  _rx.lin_vel_x = linear.X();
  _rx.lin_vel_y = linear.Y();
  _rx.lin_vel_z = linear.Z();
  const ignition::math::Vector3d angular = _link->WorldAngularVel();
  _rx.ang_vel_x = angular.X();
  _rx.ang_vel_y = angular.Y();
  _rx.ang_vel_z = angular.Z();
  return true;
}

}  // namespace Orvo
