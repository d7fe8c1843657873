#pragma once
// Driver side of a device: publishes its rx record on the device's rx topic
// in sense() and takes the newest tx record from its tx topic in move().
// Paired with its client (devices/device_pairing.h), it exchanges the
// records through the pair's cells and uses the topics only for the others
// there. Concrete drivers override sense_impl()/move_impl(); the simulated
// devices use the template as it is and let the device channel fill the
// records.

#include <cstdint>
#include <memory>

#include "devices/paired_records.h"
#include "devices/receive_time.h"
#include "framework/primitives/debug.h"
#include "orvo2/devices/device_topics.h"
#include "devices/device_tpl_common.h"

namespace Orvo {
namespace Hal {

template <typename Rx, typename Tx>
class DeviceDriverTpl : public DeviceTplCommon<Rx, Tx> {
public:
  // Set-up; allocates. Advertises Rx on the rx topic (all-zero initial value)
  // and subscribes to Tx on the tx topic (queue 20, no callback queue), then
  // offers itself for pairing. Throws TopicBadType when a topic exists with
  // another record type.
  explicit DeviceDriverTpl(DeviceInfo info) : DeviceTplCommon<Rx, Tx>(std::move(info)) {
    const DeviceInfo& self = this->get_devinfo();
    const std::string tx_topic = DeviceRt::TxTopicName(self.type, self.name);
    const std::string rx_topic = DeviceRt::RxTopicName(self.type, self.name);
    _rx_pub = advertise_record<Rx>(rx_topic, Rx{}, self.name);
    _tx_sub = subscribe_record<Tx, DeviceDriverTpl>(tx_topic, &DeviceDriverTpl::on_tx_recv, this,
                                                    self.name);
    _pair.offer(PairingLink::End::Driver, self, [this] { _rx_pub->watch_counts(_pair.rx()->counts); });
  }
  // The topic ends go before the cells they may watch.
  ~DeviceDriverTpl() override {
    _tx_sub.reset();
    _rx_pub.reset();
  }

  // Control cycle, driving thread; never blocks, allocates or throws.
  // Runs sense_impl(), then publishes the rx record by loan (nothing when no
  // loan is given), or paired, puts it in the rx cell. False only when
  // sense_impl() fails.
  bool sense() override {
    if (!sense_impl()) {
      ORVO2_DEBUG_TRACE(1, "sense", "sense_impl() failed for {} \n", this->get_name());
      return false;
    }
    ORVO2_DEBUG_TRACE(1, "sense", "publishing rx for {} \n", this->get_name());
    if (_pair.rx() != nullptr && put_record(*_pair.rx(), this->_rx)) {
      return true;
    }
    if (auto loan = _rx_pub->loanMessage()) {
      copy_record(loan->value(), this->_rx);
      _rx_pub->publishLoaned(std::move(loan));
    }
    return true;
  }

  // Control cycle, driving thread; never blocks, allocates or throws.
  // Delivers the pending tx records (the last one wins), then runs
  // move_impl(). True only when a tx record arrived and move_impl() succeeded.
  bool move() override {
    const int delivered =
        _pair.tx() == nullptr
            ? _tx_sub->run()
            : take_records(*_pair.tx(), *_tx_sub, [this](const Tx& tx) { on_tx_recv(tx); });
    if (!move_impl()) {
      return false;
    }
    return delivered > 0;
  }

  // Hooks of concrete drivers, called in sense()/move(); true by default.
  virtual bool sense_impl() { return true; }
  virtual bool move_impl() { return true; }

  // Called inside move() for each tx record delivered: takes the record,
  // counts and stamps it (devices/receive_time.h).
  virtual void on_tx_recv(const Tx& tx) {
    ORVO2_DEBUG_TRACE(1, "on_tx_recv", "received tx for {} \n", this->get_name());
    copy_record(this->_tx, tx);
    const int64_t now = tx_receive_time();
    ++_tx_recv_count;
    _tx_recv_stamp = now;
  }

  // Driving thread. The records as they stand.
  const Rx& rx_record() const { return this->_rx; }
  const Tx& tx_record() const { return this->_tx; }
  void set_tx_record(const Tx& tx) { copy_record(this->_tx, tx); }

protected:
  int64_t _tx_recv_stamp = 0;  // ns, clock of tx_receive_time()
  int32_t _tx_recv_count = 0;
  std::shared_ptr<Publisher<Rx>> _rx_pub;
  std::shared_ptr<Subscriber<Tx>> _tx_sub;

private:
  PairedEnd<Rx, Tx> _pair;
};

}  // namespace Hal
}  // namespace Orvo
