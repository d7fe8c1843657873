#pragma once
// The devices a plug-in hands to its channel. The channel pairs devices by
// name and type and its table holds names of at most 63 characters: a device
// that repeats an earlier device's name and type, or whose name is longer, is
// left out with an error line naming it, and the plug-in serves the rest.

#include <set>
#include <string>
#include <utility>

#include <fmt/format.h>

#include <gazebo/common/Console.hh>

#include "common/device_server_cycle.h"
#include "orvo2/channel/shm_channel_layout.h"

namespace Orvo {

// Simulator loading thread; allocates. Keeps the order of the devices served.
inline void leave_out_unservable_devices(GzDeviceList& devices) {
  constexpr std::size_t longest = shm::kDeviceNameSize - 1;
  std::set<std::pair<std::string, std::string>> served;
  GzDeviceList servable;
  for (const std::shared_ptr<Hal::DeviceRt>& device : devices) {
    const std::string& name = device->get_name();
    const std::string& type = device->get_type();
    if (name.size() > longest) {
      gzerr << fmt::format("device '{}' of type '{}' left out of the channel: its name has {} characters, at most {} fit\n",
                           name, type, name.size(), longest);
    } else if (!served.emplace(name, type).second) {
      gzerr << fmt::format("device '{}' of type '{}' left out of the channel: an earlier device has that name and type\n",
                           name, type);
    } else {
      servable.push_back(device);
    }
  }
  devices = std::move(servable);
}

}  // namespace Orvo
