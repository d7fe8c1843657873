#pragma once
// A device with joint-sized records for channel tests: rx of 44 bytes, tx of
// 24 bytes of which the raw tx copies move the first 21 (the last three are
// padding that never travels). Other sizes can be given to test refusals.

#include <array>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "orvo2/devices/device_rt.h"

namespace Orvo {
namespace test {

class TestDevice : public Hal::DeviceRt {
public:
  TestDevice(const std::string& name, int rx_size = 44, int tx_size = 24, const std::string& type = "joint_test")
      : DeviceRt(Hal::DeviceInfo{name, type, 0}, rx_size, tx_size),
        _tx_copied(tx_size == 24 ? 21 : tx_size) {}

  bool sense() override { return true; }
  bool move() override { return true; }

  bool get_rx_raw(unsigned char* dst, int size) const override {
    check(size, get_rx_size(), "get_rx_raw: size != get_rx_size()");
    std::memcpy(dst, rx.data(), static_cast<size_t>(size));
    return true;
  }
  bool set_rx_raw(unsigned char const* src, int size) override {
    check(size, get_rx_size(), "set_rx_raw: size != get_rx_size()");
    std::memcpy(rx.data(), src, static_cast<size_t>(size));
    return true;
  }
  bool get_tx_raw(unsigned char* dst, int size) const override {
    check(size, get_tx_size(), "get_tx_raw: size != get_tx_size()");
    std::memcpy(dst, tx.data(), static_cast<size_t>(_tx_copied));
    return true;
  }
  bool set_tx_raw(unsigned char const* src, int size) override {
    check(size, get_tx_size(), "set_tx_raw: size != get_tx_size()");
    std::memcpy(tx.data(), src, static_cast<size_t>(_tx_copied));
    return true;
  }

  // Fills the rx record with `value` in every float.
  void fill_rx(float value) {
    for (int i = 0; i + 4 <= get_rx_size(); i += 4) {
      std::memcpy(rx.data() + i, &value, 4);
    }
  }
  float rx_float(int index) const {
    float value;
    std::memcpy(&value, rx.data() + 4 * index, 4);
    return value;
  }

  std::array<unsigned char, 128> rx{};
  std::array<unsigned char, 128> tx{};

private:
  static void check(int size, int expected, const char* text) {
    if (size != expected) {
      throw std::out_of_range(text);
    }
  }
  int _tx_copied;
};

using DeviceList = std::vector<std::shared_ptr<Hal::DeviceRt>>;

template <typename... Devices>
DeviceList devices(const std::shared_ptr<Devices>&... list) {
  return DeviceList{list...};
}

// A channel name no other test process uses.
inline std::string unique_channel(const std::string& what) {
  static int counter = 0;
  return "test_" + what + "_" + std::to_string(::getpid()) + "_" + std::to_string(++counter);
}

// Removes a channel's shared memory when the test ends, however it ended (a
// server killed by the test leaves its segment behind).
class SegmentRemover {
public:
  explicit SegmentRemover(std::string channel) : _name("/orvo2_" + std::move(channel)) {}
  ~SegmentRemover() { ::shm_unlink(_name.c_str()); }
  SegmentRemover(const SegmentRemover&) = delete;
  SegmentRemover& operator=(const SegmentRemover&) = delete;

private:
  std::string _name;
};

}  // namespace test
}  // namespace Orvo
