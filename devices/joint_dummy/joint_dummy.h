#pragma once
// A joint without hardware: each cycle it reports as sensed state the
// references of the last command it took, at a fixed temperature of 55.
// With sense before move in a cycle, a command comes back one cycle later.

#include "devices/device_driver_tpl.h"

namespace Orvo {
namespace Hal {

class JointDummy : public DeviceDriverTpl<joint_rx, joint_tx> {
public:
  using DeviceDriverTpl::DeviceDriverTpl;

  // Driving thread, inside sense(); never fails. Echoes every reference
  // whatever the mask holds.
  bool sense_impl() override;
  // Driving thread, inside move(); nothing to do.
  bool move_impl() override { return true; }

  static constexpr float kTemperature = 55.0f;
};

}  // namespace Hal
}  // namespace Orvo
