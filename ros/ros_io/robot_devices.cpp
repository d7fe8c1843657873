#include "robot_devices.h"

#include "orvo2/robot/robot_interface_orvo2rt.h"

namespace Orvo {

std::vector<std::shared_ptr<Hal::DeviceBase>> robot_devices(RobotInterface& robot) {
  std::vector<std::shared_ptr<Hal::DeviceBase>> out;
  if (auto* backend = dynamic_cast<RobotInterfaceOrvo2Rt*>(&robot)) {
    for (const auto& device : backend->getDeviceList()) {
      out.push_back(device);
    }
  }
  return out;
}

}  // namespace Orvo
