#pragma once
// The client side of the device type "joint_master", which has none: its
// constructor always throws, so no client of the joint master can be made.

#include "orvo2/devices/device_base.h"

namespace Orvo {
namespace Hal {

class DummyApi : public Device {
public:
  // Set-up; throws std::runtime_error "cannot instantiate API for JointMaster".
  explicit DummyApi(const DeviceInfo& info);
  ~DummyApi() override = default;

  bool sense() override { return false; }
  bool move() override { return false; }
};

}  // namespace Hal
}  // namespace Orvo
