#pragma once
// The world-update cycle every simulator plug-in runs over its devices:
// sense all, take the robot's tx records, publish the rx records, move all.
// The rx records published hold the state sensed in the same world update,
// and a tx record taken acts in that update's move.

#include <memory>
#include <vector>

#include "orvo2/channel/server_manager.h"
#include "orvo2/devices/device_rt.h"

namespace Orvo {

using GzDeviceList = std::vector<std::shared_ptr<Hal::DeviceRt>>;

// World-update thread; allocates nothing, blocks on nothing, logs nothing.
// The results of the steps are not looked at: sense and move of the
// simulator's devices cannot fail, and the channel never waits for its peer.
inline void run_device_server_cycle(const GzDeviceList& devices, ServerManager& server_manager) {
  for (const std::shared_ptr<Hal::DeviceRt>& device : devices) {
    device->sense();
  }
  server_manager.run();
  server_manager.send(false);
  for (const std::shared_ptr<Hal::DeviceRt>& device : devices) {
    device->move();
  }
}

}  // namespace Orvo
