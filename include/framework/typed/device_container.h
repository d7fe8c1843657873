#pragma once
// The typed container of the devices of one type, kept in order of addition,
// by id and by name. Device libraries hand one to the framework per type.

#include <functional>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "framework/primitives/device_info.h"
#include "orvo2/devices/device_container_base.h"

namespace Orvo {
namespace Hal {

template <typename T>
class DeviceContainer : public DeviceContainerBase {
public:
  using Factory = std::function<std::shared_ptr<T>(const DeviceInfo&)>;

  // Set-up; allocates. Makes every device of the list with
  // std::make_shared<T>(info), in list order. Throws, before any device is
  // made, when the list repeats a name or an id; an exception from a
  // device's constructor propagates, and so does a factory that makes no T.
  explicit DeviceContainer(std::vector<DeviceInfo> infos)
      : DeviceContainer(std::move(infos), Factory([](const DeviceInfo& info) {
                          return std::make_shared<T>(info);
                        })) {}

  // Set-up; as above with another factory (for example for an abstract T).
  DeviceContainer(std::vector<DeviceInfo> infos, const Factory& factory) {
    throwIfDuplicates(infos);
    for (const DeviceInfo& info : infos) {
      if (!addDevice(std::dynamic_pointer_cast<Device>(factory(info)))) {
        throw std::runtime_error("the factory made no device of type '" + info.type +
                                 "' for '" + info.name + "'");
      }
    }
  }

  ~DeviceContainer() override = default;

  // Set-up; allocates. False, recording nothing, for null or for a device
  // that is not a T. A device whose id or name is already present replaces
  // the earlier one in that map; both stay in the vectors.
  bool addDevice(std::shared_ptr<Device> device) override {
    std::shared_ptr<T> typed = std::dynamic_pointer_cast<T>(device);
    if (!typed) {
      return false;
    }
    DeviceContainerBase::addDevice(std::move(device));
    _by_id[typed->get_id()] = typed;
    _by_name[typed->get_name()] = typed;
    _devices.push_back(std::move(typed));
    return true;
  }

  // Any thread once set-up is over; never allocates.
  const std::map<int, std::shared_ptr<T>>& get_device_id_map() const { return _by_id; }
  const std::map<std::string, std::shared_ptr<T>>& get_device_name_map() const { return _by_name; }
  const std::vector<std::shared_ptr<T>>& get_device_vector() const { return _devices; }

private:
  std::map<int, std::shared_ptr<T>> _by_id;
  std::map<std::string, std::shared_ptr<T>> _by_name;
  std::vector<std::shared_ptr<T>> _devices;
};

}  // namespace Hal
}  // namespace Orvo
