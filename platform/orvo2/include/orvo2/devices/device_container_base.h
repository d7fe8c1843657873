#pragma once
// The untyped container of the devices of one type. A worker thread senses,
// runs and moves every device through it once per cycle, in order of
// addition. The typed container is Orvo::Hal::DeviceContainer<T>
// (framework/typed/device_container.h).

#include <memory>
#include <string>
#include <vector>

#include "framework/primitives/device_info.h"
#include "orvo2/devices/device_base.h"

namespace Orvo {
namespace Hal {

class DeviceContainerBase {
public:
  DeviceContainerBase() = default;
  DeviceContainerBase(const DeviceContainerBase&) = delete;
  DeviceContainerBase& operator=(const DeviceContainerBase&) = delete;

  // Control cycle, in the thread that drives the container: call every
  // device's sense/run/move in order of addition, each one always. True only
  // when every device returned true. Never allocates, never throws: a device
  // that throws counts as false and is reported once in the journal. The
  // commands move_all delivers share one stamp (devices/receive_time.h).
  virtual bool sense_all();
  virtual bool run_all();
  virtual bool move_all();
  virtual ~DeviceContainerBase();

  // Set-up; allocates. Keeps the device in the untyped list; false for null.
  virtual bool addDevice(std::shared_ptr<Device> device);

  // Set-up. Throws std::runtime_error naming the first name or id that the
  // list repeats.
  static void throwIfDuplicates(std::vector<DeviceInfo> infos);

  // Set-up only; loads liborvodev_<type>.so by name (see SharedLibrary) and
  // returns the container that its client-side (MakeClient) or driver-side
  // (MakeDriver) factory builds from `infos`. Throws std::runtime_error naming
  // the library when it, an entry point or a 2.x version is missing, and
  // passes on whatever the factory throws.
  static std::unique_ptr<DeviceContainerBase> MakeClient(const std::string& type,
                                                         std::vector<DeviceInfo> infos);
  static std::unique_ptr<DeviceContainerBase> MakeDriver(const std::string& type,
                                                         std::vector<DeviceInfo> infos);

  // Any thread once set-up is over.
  const std::vector<std::shared_ptr<Device>>& get_device_base_vector() const { return _devices; }

private:
  enum class Step { Sense, Run, Move };
  bool step_all(Step step);
  void report_exception(size_t index, Step step, const char* what);

  std::vector<std::shared_ptr<Device>> _devices;
  // One flag per device, in step with _devices: its exception was reported.
  std::vector<unsigned char> _reported;
};

}  // namespace Hal
}  // namespace Orvo
