#pragma once
// Client side of a device: takes the rx record from the device's rx topic in
// sense() and publishes its tx record on the tx topic in move(); paired with
// its driver (devices/device_pairing.h), through the pair's cells instead
// while nobody else is on the topics. Consumers hold clients; the driver
// side is DeviceDriverTpl.

#include <cstdint>
#include <memory>

#include "framework/primitives/debug.h"
#include "orvo2/devices/device_topics.h"
#include "devices/paired_records.h"
#include "devices/device_tpl_common.h"

namespace Orvo {
namespace Hal {

template <typename Rx, typename Tx>
class DeviceClientTpl : public DeviceTplCommon<Rx, Tx> {
public:
  // Set-up; allocates. Advertises Tx on the tx topic (default command as
  // initial value) and subscribes to Rx on the rx topic (queue 20, no
  // callback queue), then offers itself for pairing. Throws TopicBadType
  // when a topic exists with another record type.
  explicit DeviceClientTpl(DeviceInfo info) : DeviceTplCommon<Rx, Tx>(std::move(info)) {
    attach_client_topics(this->get_devinfo(), &DeviceClientTpl::on_rx_recv, this, _tx_pub, _rx_sub);
    _pair.offer(PairingLink::End::Client, this->get_devinfo(),
                [this] { _tx_pub->watch_counts(_pair.tx()->counts); });
  }
  // The topic ends go before the cells they may watch.
  ~DeviceClientTpl() override {
    _rx_sub.reset();
    _tx_pub.reset();
  }

  // Control cycle, owner's thread; never blocks, allocates or throws.
  // Delivers the pending rx records (the last one wins), then runs
  // sense_impl(). True only when an rx record arrived and sense_impl() succeeded.
  bool sense() override {
    const int delivered = receive();
    if (!sense_impl()) {
      return false;
    }
    return delivered > 0;
  }

  // Control cycle, owner's thread; never blocks, allocates or throws.
  // Runs move_impl(), then publishes the tx record by loan (nothing when no
  // loan is given), or paired, puts it in the tx cell. False only when
  // move_impl() fails.
  bool move() override {
    if (!move_impl()) {
      return false;
    }
    ORVO2_DEBUG_TRACE(1, "move", "publishing tx for {} \n", this->get_name());
    if (_pair.tx() != nullptr && put_record(*_pair.tx(), this->_tx)) {
      return true;
    }
    if (auto loan = _tx_pub->loanMessage()) {
      copy_record(loan->value(), this->_tx);
      _tx_pub->publishLoaned(std::move(loan));
    }
    return true;
  }

  // Hooks of concrete clients, called in sense()/move(); true by default.
  virtual bool sense_impl() { return true; }
  virtual bool move_impl() { return true; }

  // Called inside sense() for each rx record delivered: takes the record and
  // counts it.
  virtual void on_rx_recv(const Rx& rx) {
    ORVO2_DEBUG_TRACE(1, "on_rx_recv", "received rx for {} \n", this->get_name());
    copy_record(this->_rx, rx);
    ++_rx_recv_count;
  }

  // Owner's thread; never blocks, allocates or throws. Delivers the pending
  // rx records through on_rx_recv() without running sense_impl(); returns how
  // many arrived. For owners that use a client only for its topics.
  int receive() {
    if (_pair.rx() == nullptr) {
      return _rx_sub->run();
    }
    return take_records(*_pair.rx(), *_rx_sub, [this](const Rx& rx) { on_rx_recv(rx); });
  }
  // Owner's thread. The records as they stand.
  const Rx& rx_record() const { return this->_rx; }
  const Tx& tx_record() const { return this->_tx; }
  void set_tx_record(const Tx& tx) { copy_record(this->_tx, tx); }

protected:
  int32_t _rx_recv_count = 0;
  std::shared_ptr<Publisher<Tx>> _tx_pub;
  std::shared_ptr<Subscriber<Rx>> _rx_sub;

private:
  PairedEnd<Rx, Tx> _pair;
};

}  // namespace Hal
}  // namespace Orvo
