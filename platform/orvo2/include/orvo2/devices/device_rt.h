#pragma once
// A device whose state is two fixed-size records, an rx record (sensed) and a
// tx record (commanded), reachable as raw bytes by the device channel.

#include <string>

#include "orvo2/devices/device_base.h"

namespace Orvo {
namespace Hal {

class DeviceRt : public Device {
public:
  DeviceRt(DeviceInfo info, int rx_size, int tx_size)
      : Device(std::move(info)), _rx_size(rx_size), _tx_size(tx_size) {}
  ~DeviceRt() override = default;

  int get_rx_size() const { return _rx_size; }
  int get_tx_size() const { return _tx_size; }

  // Control-cycle thread. Copy a record to or from a buffer of exactly the
  // record's size; a size that differs throws std::out_of_range, copying nothing.
  virtual bool get_rx_raw(unsigned char* dst, int size) const = 0;
  virtual bool set_rx_raw(unsigned char const* src, int size) = 0;
  virtual bool get_tx_raw(unsigned char* dst, int size) const = 0;
  virtual bool set_tx_raw(unsigned char const* src, int size) = 0;

  // Names of the in-process topics on which a device's driver and client meet.
  static std::string RxTopicName(const std::string& type, const std::string& name) {
    return "/orvo_internal/hal/" + type + "/" + name + "/rx";
  }
  static std::string TxTopicName(const std::string& type, const std::string& name) {
    return "/orvo_internal/hal/" + type + "/" + name + "/tx";
  }

private:
  int _rx_size;
  int _tx_size;
};

}  // namespace Hal
}  // namespace Orvo
