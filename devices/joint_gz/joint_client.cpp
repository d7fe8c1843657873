#include "joint_client.h"

namespace Orvo {
namespace Hal {

JointClient::JointClient(DeviceInfo info) : JointApi(info, Topics::Detach), _client(info) {}

bool JointClient::sense() {
  if (_client.receive() == 0) {
    return false;
  }
  _rx = _client.rx_record();
  return true;
}

bool JointClient::move() {
  _client.set_tx_record(_tx);
  return _client.move();
}

}  // namespace Hal
}  // namespace Orvo
