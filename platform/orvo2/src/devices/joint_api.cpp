#include "orvo2/devices/joint_api.h"

#include "orvo2/devices/device_topics.h"

namespace Orvo {
namespace Hal {

JointApi::JointApi(DeviceInfo info, Topics topics) : DeviceTplCommon(std::move(info)) {
  if (topics == Topics::Detach) {
    return;
  }
  attach_client_topics(get_devinfo(), &JointApi::on_rx_recv, this, _tx_pub, _rx_sub);
  _pair.offer(PairingLink::End::Client, get_devinfo(), [this] { _tx_pub->watch_counts(_pair.tx()->counts); });
}

JointApi::~JointApi() = default;

void JointApi::set_pos_ref(double value) {
  _tx.pos_ref = static_cast<float>(value);
  _tx.mask |= joint_tx::POS_REF;
}

void JointApi::set_vel_ref(double value) {
  _tx.vel_ref = static_cast<float>(value);
  _tx.mask |= joint_tx::VEL_REF;
}

void JointApi::set_tor_ref(double value) {
  _tx.tor_ref = static_cast<float>(value);
  _tx.mask |= joint_tx::TOR_REF;
}

void JointApi::set_stiffness_ref(double value) {
  _tx.stiffness = static_cast<float>(value);
  _tx.mask |= joint_tx::STIFFNESS;
}

void JointApi::set_damping_ref(double value) {
  _tx.damping = static_cast<float>(value);
  _tx.mask |= joint_tx::DAMPING;
}

bool JointApi::sense() {
  if (!_rx_sub) {
    return false;
  }
  if (_pair.rx() == nullptr) {
    return _rx_sub->run() > 0;
  }
  return take_records(*_pair.rx(), *_rx_sub, [this](const joint_rx& rx) { _rx = rx; }) > 0;
}

bool JointApi::move() {
  if (_pair.tx() != nullptr && put_record(*_pair.tx(), _tx)) {
    return true;
  }
  if (_tx_pub) {
    if (auto loan = _tx_pub->loanMessage()) {
      copy_joint_tx(loan->value(), _tx);
      _tx_pub->publishLoaned(std::move(loan));
    }
  }
  return true;
}

void JointApi::on_rx_recv(const joint_rx& rx) { _rx = rx; }

}  // namespace Hal
}  // namespace Orvo
