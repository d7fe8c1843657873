#pragma once
// Small devices for the container tests: they record the order in which the
// container called them and fail or throw on request.

#include <stdexcept>
#include <string>
#include <vector>

#include "orvo2/devices/device_base.h"

namespace Orvo {
namespace Hal {
namespace test {

struct CallLog {
  std::vector<std::string> calls;
};

class RecordingDevice : public Device {
public:
  explicit RecordingDevice(DeviceInfo info, CallLog* log = nullptr) : Device(std::move(info)), _log(log) {}

  bool sense() override { return step("sense"); }
  bool run() override { return step("run"); }
  bool move() override { return step("move"); }

  bool result = true;
  bool throws = false;

private:
  bool step(const char* what) {
    if (_log != nullptr) {
      _log->calls.push_back(get_name() + "." + what);
    }
    if (throws) {
      throw std::runtime_error("broken " + get_name());
    }
    return result;
  }
  CallLog* _log;
};

class OtherDevice : public Device {
public:
  explicit OtherDevice(DeviceInfo info) : Device(std::move(info)) {}
  bool sense() override { return true; }
  bool move() override { return true; }
};

// An interface over the virtual device base, as sensor interfaces are.
class Reading : public virtual DeviceBase {
public:
  virtual int reading() const = 0;
};

class ReadingDevice : public RecordingDevice, public Reading {
public:
  explicit ReadingDevice(DeviceInfo info) : RecordingDevice(std::move(info)) {}
  int reading() const override { return get_id() * 10; }
};

}  // namespace test
}  // namespace Hal
}  // namespace Orvo
