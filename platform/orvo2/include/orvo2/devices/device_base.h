#pragma once
// What every device is: a name, a type and an id, sensed, run and moved once
// per cycle by the thread that drives its container.

#include <string>

#include "framework/primitives/device_info.h"

namespace Orvo {
namespace Hal {

// Virtual base of every device class: consumers reach a sensor or joint
// interface from it by a dynamic cast.
class DeviceBase {
public:
  virtual const DeviceInfo& get_devinfo() const = 0;
  // Called in the control cycle: never block, allocate or throw.
  virtual bool sense() = 0;
  virtual bool run() { return true; }
  virtual bool move() = 0;
  virtual ~DeviceBase() = default;

  const std::string& get_name() const { return get_devinfo().name; }
  const std::string& get_type() const { return get_devinfo().type; }
  int get_id() const { return get_devinfo().id; }
};

// A device that keeps its own copy of its configuration entry.
class Device : public virtual DeviceBase {
public:
  explicit Device(DeviceInfo info) : _info(std::move(info)) {}
  const DeviceInfo& get_devinfo() const override { return _info; }
  ~Device() override = default;

private:
  DeviceInfo _info;
};

}  // namespace Hal
}  // namespace Orvo
