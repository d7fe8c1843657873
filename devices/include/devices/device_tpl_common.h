#pragma once
// The common device template: one rx and one tx record, zeroed at
// construction, reachable as raw bytes of exactly their declared sizes.

#include <cstring>
#include <stdexcept>
#include <type_traits>

#include "devices/joint_records.h"
#include "orvo2/devices/device_rt.h"

namespace Orvo {
namespace Hal {

namespace detail {

// Bytes a record copy moves: a joint_tx carries 21 (no padding), an empty
// record none, every other record all of its bytes.
template <typename R>
constexpr size_t carried_size() {
  if constexpr (std::is_same_v<R, joint_tx>) {
    return joint_tx_copy_size;
  } else if constexpr (std::is_empty_v<R>) {
    return 0;
  } else {
    return sizeof(R);
  }
}

}  // namespace detail

// Copies a record the way every copy of the device layer does.
template <typename R>
inline void copy_record(R& dst, const R& src) {
  if constexpr (std::is_same_v<R, joint_tx>) {
    copy_joint_tx(dst, src);
  } else if constexpr (!std::is_empty_v<R>) {
    dst = src;
  }
}

template <typename Rx, typename Tx>
class DeviceTplCommon : public DeviceRt {
  static_assert(std::is_trivially_copyable_v<Rx> && std::is_trivially_copyable_v<Tx>,
                "device records are plain data");

public:
  explicit DeviceTplCommon(DeviceInfo info)
      : DeviceRt(std::move(info), static_cast<int>(sizeof(Rx)), static_cast<int>(sizeof(Tx))) {
    std::memset(static_cast<void*>(&_rx), 0, sizeof(Rx));
    std::memset(static_cast<void*>(&_tx), 0, sizeof(Tx));
  }

  // Control-cycle thread; throw std::out_of_range, copying nothing, when the
  // size is not the record's.
  bool get_rx_raw(unsigned char* dst, int size) const override {
    if (size != get_rx_size()) {
      throw std::out_of_range("get_rx_raw: size != get_rx_size()");
    }
    std::memcpy(dst, &_rx, detail::carried_size<Rx>());
    return true;
  }
  bool set_rx_raw(unsigned char const* src, int size) override {
    if (size != get_rx_size()) {
      throw std::out_of_range("set_rx_raw: size != get_rx_size()");
    }
    std::memcpy(static_cast<void*>(&_rx), src, detail::carried_size<Rx>());
    return true;
  }
  bool get_tx_raw(unsigned char* dst, int size) const override {
    if (size != get_tx_size()) {
      throw std::out_of_range("get_tx_raw: size != get_tx_size()");
    }
    std::memcpy(dst, &_tx, detail::carried_size<Tx>());
    return true;
  }
  bool set_tx_raw(unsigned char const* src, int size) override {
    if (size != get_tx_size()) {
      throw std::out_of_range("set_tx_raw: size != get_tx_size()");
    }
    std::memcpy(static_cast<void*>(&_tx), src, detail::carried_size<Tx>());
    return true;
  }

protected:
  Rx _rx;
  Tx _tx;
};

}  // namespace Hal
}  // namespace Orvo
