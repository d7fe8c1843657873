#pragma once
// Messages of the joint master: the aggregated rx and tx of all joints, the
// master's status and a request for new command limits. They travel by value
// on in-process topics and services, never serialised. The vector-holding
// messages can be built at their final size, so that copying one into a
// loaned message of the same size allocates nothing.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "devices/joint_records.h"
#include "framework/primitives/device_info.h"
#include "orvo2/devices/joint_tx_limits.h"

namespace Orvo {
namespace Hal {

// All joint states of one cycle; rx[i] belongs to info[i].
struct JointMasterRx {
  uint32_t seq = 0;
  int64_t stamp = 0;  // ns, simulated time when in use, else CLOCK_REALTIME
  std::vector<DeviceInfo> info;
  std::vector<joint_rx> rx;

  JointMasterRx() = default;
  // Set-up; allocates. info as given, rx zeroed to the same length.
  explicit JointMasterRx(std::vector<DeviceInfo> joints)
      : info(std::move(joints)), rx(info.size(), joint_rx{}) {}
};

// An aggregated command; tx[i] addresses the joint whose id is info[i].id.
struct JointMasterTx {
  std::string sender;
  std::vector<DeviceInfo> info;
  std::vector<joint_tx> tx;

  JointMasterTx() = default;
  // Set-up; allocates. `joints` entries of each list, default valued.
  explicit JointMasterTx(size_t joints) : info(joints), tx(joints) {}
};

// Status of the master, published every cycle.
struct JointMasterInfo {
  uint32_t mask = 0;
  bool tx_filter_enabled = false;
  double tx_filter_cutoff = 0.0;  // Hz
};

// New command limits; limits[i] applies to the joint whose id is info[i].id.
struct JointMasterLimits {
  std::vector<DeviceInfo> info;
  std::vector<joint_tx_limits> limits;

  JointMasterLimits() = default;
  // Set-up; allocates. `joints` entries of each list, default valued.
  explicit JointMasterLimits(size_t joints) : info(joints), limits(joints) {}
};

}  // namespace Hal
}  // namespace Orvo
