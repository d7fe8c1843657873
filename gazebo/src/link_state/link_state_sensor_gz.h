#pragma once
// One simulated link served as a "link_state_sensor" device: its world pose
// (orientation stored x, y, z, w) and world velocities. Nothing is commanded.

#include <gazebo/physics/PhysicsTypes.hh>

#include "devices/device_tpl_common.h"
#include "devices/sensor_records.h"

namespace Orvo {

class LinkStateSensorGz
    : public Hal::DeviceTplCommon<Hal::LinkStateSensorRx, Hal::LinkStateSensorTx> {
public:
  // Simulator loading thread; allocates.
  LinkStateSensorGz(Hal::DeviceInfo info, gazebo::physics::LinkPtr link);
  ~LinkStateSensorGz() override = default;

  // World-update thread; no allocation, never throws.
  bool sense() override;
  // World-update thread; does nothing.
  bool move() override { return true; }

private:
  gazebo::physics::LinkPtr _link;
};

}  // namespace Orvo
