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
};

}  // namespace Hal
}  // namespace Orvo
