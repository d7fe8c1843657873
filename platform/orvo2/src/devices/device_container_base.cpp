#include "orvo2/devices/device_container_base.h"

#include <map>
#include <set>
#include <stdexcept>

#include "devices/receive_time.h"
#include "framework/primitives/prefetch.h"
#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"

namespace Orvo {
namespace Hal {
namespace {

// The devices of a cycle are cold again by the next one: each one's first
// lines are fetched this many devices ahead of its step.
constexpr size_t kPrefetchAhead = 4;
constexpr size_t kPrefetchBytes = 256;

}  // namespace

DeviceContainerBase::~DeviceContainerBase() = default;

bool DeviceContainerBase::sense_all() { return step_all(Step::Sense); }
bool DeviceContainerBase::run_all() { return step_all(Step::Run); }
bool DeviceContainerBase::move_all() {
  const ReceiveTimePass stamps;
  return step_all(Step::Move);
}

bool DeviceContainerBase::step_all(Step step) {
  bool all_ok = true;
  const size_t count = _devices.size();
  for (size_t i = 0; i < count; ++i) {
    if (i + kPrefetchAhead < count) {
      prefetch_lines(_devices[i + kPrefetchAhead].get(), kPrefetchBytes);
    }
    Device& device = *_devices[i];
    bool ok = false;
    try {
      switch (step) {
        case Step::Sense: ok = device.sense(); break;
        case Step::Run: ok = device.run(); break;
        case Step::Move: ok = device.move(); break;
      }
    } catch (const std::exception& e) {
      report_exception(i, step, e.what());
    } catch (...) {
      report_exception(i, step, "unknown exception");
    }
    all_ok = all_ok && ok;
  }
  return all_ok;
}

void DeviceContainerBase::report_exception(size_t index, Step step, const char* what) {
  if (_reported[index] != 0) {
    return;
  }
  _reported[index] = 1;
  const Device& device = *_devices[index];
  const char* step_name = step == Step::Sense ? "sense" : step == Step::Run ? "run" : "move";
  Context().journal().jhigh().vlog(
      Journal::Error, "device '{}' of type '{}' (id {}) threw in {}: {} \n", device.get_name(),
      device.get_type(), device.get_id(), step_name, what);
}

bool DeviceContainerBase::addDevice(std::shared_ptr<Device> device) {
  if (!device) {
    return false;
  }
  _devices.push_back(std::move(device));
  _reported.push_back(0);
  return true;
}

void DeviceContainerBase::throwIfDuplicates(std::vector<DeviceInfo> infos) {
  std::set<std::string> names;
  std::map<int, std::string> ids;
  for (const DeviceInfo& info : infos) {
    if (!names.insert(info.name).second) {
      throw std::runtime_error("duplicate device name '" + info.name + "' (type '" + info.type +
                               "') in the device list");
    }
    const auto id = ids.emplace(info.id, info.name);
    if (!id.second) {
      throw std::runtime_error("duplicate device id " + std::to_string(info.id) + " ('" +
                               id.first->second + "' and '" + info.name + "', type '" +
                               info.type + "') in the device list");
    }
  }
}

}  // namespace Hal
}  // namespace Orvo
