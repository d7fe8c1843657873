#include "orvo2/devices/joint_api.h"

#include <cstring>

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
  joint_tx& record = tx();
  record.pos_ref = static_cast<float>(value);
  record.mask |= joint_tx::POS_REF;
}

void JointApi::set_vel_ref(double value) {
  joint_tx& record = tx();
  record.vel_ref = static_cast<float>(value);
  record.mask |= joint_tx::VEL_REF;
}

void JointApi::set_tor_ref(double value) {
  joint_tx& record = tx();
  record.tor_ref = static_cast<float>(value);
  record.mask |= joint_tx::TOR_REF;
}

void JointApi::set_stiffness_ref(double value) {
  joint_tx& record = tx();
  record.stiffness = static_cast<float>(value);
  record.mask |= joint_tx::STIFFNESS;
}

void JointApi::set_damping_ref(double value) {
  joint_tx& record = tx();
  record.damping = static_cast<float>(value);
  record.mask |= joint_tx::DAMPING;
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

void JointApi::keep_tx_in(joint_tx* const* block, size_t index) {
  const joint_tx current = tx();
  _tx_block = block;
  _tx_index = index;
  copy_joint_tx(tx(), current);
}

bool JointApi::get_tx_raw(unsigned char* dst, int size) const {
  if (_tx_block == nullptr || size != get_tx_size()) {
    return DeviceTplCommon::get_tx_raw(dst, size);
  }
  std::memcpy(dst, &tx(), joint_tx_copy_size);
  return true;
}

bool JointApi::set_tx_raw(unsigned char const* src, int size) {
  if (_tx_block == nullptr || size != get_tx_size()) {
    return DeviceTplCommon::set_tx_raw(src, size);
  }
  std::memcpy(static_cast<void*>(&tx()), src, joint_tx_copy_size);
  return true;
}

}  // namespace Hal
}  // namespace Orvo
