#pragma once
// The driver-side container of the device type "joint_master": exactly one
// joint master, whatever the configuration lists.

#include <memory>
#include <vector>

#include "framework/typed/device_container.h"
#include "joint_device_master.h"

namespace Orvo {
namespace Hal {

class JointMasterContainer : public DeviceContainer<JointDeviceMaster> {
public:
  // Set-up; allocates. The configured list is not used: the container holds
  // one master named "jm". Whatever the master's constructor throws leaves
  // here, the container freed.
  explicit JointMasterContainer(std::vector<DeviceInfo> /*configured*/)
      : DeviceContainer<JointDeviceMaster>({}, [](const DeviceInfo&) {
          return std::shared_ptr<JointDeviceMaster>();
        }) {
    addDevice(std::make_shared<JointDeviceMaster>());
  }
  ~JointMasterContainer() override = default;
};

}  // namespace Hal
}  // namespace Orvo
