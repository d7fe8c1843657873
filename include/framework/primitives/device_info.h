#pragma once
// One configured device, and every configured device grouped by type.

#include <map>
#include <set>
#include <string>
#include <vector>

namespace Orvo {
namespace Hal {

struct DeviceInfo {
  std::string name;
  std::string type;
  int id = 0;
};

struct HardwareDescription {
  // Device infos grouped by device type, in configuration order.
  std::map<std::string, std::vector<DeviceInfo>> by_type;
  // Every device by name.
  std::map<std::string, DeviceInfo> by_name;
  // Every device by id.
  std::map<int, DeviceInfo> by_id;
  // The device types that appear.
  std::set<std::string> types;

  // Set-up; allocates. Records one device in all four members.
  void addDeviceInfo(const DeviceInfo& info) {
    by_type[info.type].push_back(info);
    by_name[info.name] = info;
    by_id[info.id] = info;
    types.insert(info.type);
  }

  // Any thread; allocates. The devices of one type, empty when there are none.
  std::vector<DeviceInfo> getDeviceInfoAll(const std::string& type) const {
    const auto it = by_type.find(type);
    return it == by_type.end() ? std::vector<DeviceInfo>{} : it->second;
  }
};

}  // namespace Hal
}  // namespace Orvo
