#pragma once
// Client-side simulated joint: the framework's JointApi, whose records are
// fed from and flushed to the device's topics by a client template it holds.
// Consumers read and write the JointApi records; the member's records travel.

#include "devices/device_client_tpl.h"
#include "orvo2/devices/joint_api.h"

namespace Orvo {
namespace Hal {

class JointClient : public JointApi {
public:
  // Set-up; allocates. Throws TopicBadType on a topic type clash.
  explicit JointClient(DeviceInfo info);

  // Owner's thread; never blocks, allocates or throws. True when an rx
  // record arrived since the last call; it then replaces the rx record.
  bool sense() override;
  // Owner's thread; never blocks, allocates or throws. Publishes the tx
  // record as it stands; true.
  bool move() override;

private:
  DeviceClientTpl<joint_rx, joint_tx> _client;
};

}  // namespace Hal
}  // namespace Orvo
