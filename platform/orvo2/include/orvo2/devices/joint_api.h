#pragma once
// The client-side joint: getters read its rx record, setters write its tx
// record and mark the field in the tx mask. Attached to the device's topics
// (the default), sense() takes the newest rx record from the rx topic and
// move() publishes the tx record on the tx topic, or through the pair's
// cells once paired with its driver (devices/device_pairing.h); detached,
// the owner fills the rx record itself (set_rx) and ships the tx record its
// own way.

#include <cstddef>
#include <memory>

#include "devices/paired_records.h"
#include "devices/device_tpl_common.h"
#include "orvo2/devices/joint_base.h"
#include "devices/joint_records.h"

namespace Orvo {

template <typename T>
class Publisher;
template <typename T>
class Subscriber;

namespace Hal {

class JointApi : public DeviceTplCommon<joint_rx, joint_tx>, public virtual JointBase {
public:
  enum class Topics { Attach, Detach };

  // Set-up; allocates. Attached: advertises the tx topic and subscribes to
  // the rx topic (queue 20, no callback queue), then offers itself for
  // pairing; throws TopicBadType when one exists with another record type.
  explicit JointApi(DeviceInfo info, Topics topics = Topics::Attach);
  ~JointApi() override;

  // Owner's thread; never block, allocate or throw. The sensed state and the
  // echoed references, from the rx record.
  double get_link_pos() const override { return _rx.link_pos; }
  double get_pos_ref() const override { return _rx.pos_ref; }
  void set_pos_ref(double value) override;
  double get_motor_pos() const override { return _rx.motor_pos; }
  double get_link_vel() const override { return _rx.link_vel; }
  double get_motor_vel() const override { return _rx.motor_vel; }
  double get_tor() const override { return _rx.tor; }
  double get_stiffness() const override { return _rx.stiffness; }
  double get_damping() const override { return _rx.damping; }
  double get_temp() const override { return _rx.temp; }
  double get_vel_ref() const override { return _rx.vel_ref; }
  void set_vel_ref(double value) override;
  double get_tor_ref() const override { return _rx.tor_ref; }
  void set_tor_ref(double value) override;
  double get_stiffness_ref() const override { return _rx.stiffness; }
  void set_stiffness_ref(double value) override;
  double get_damping_ref() const override { return _rx.damping; }
  void set_damping_ref(double value) override;

  // Owner's thread; never block, allocate or throw. The whole records;
  // set_tx copies the five floats and the mask.
  const joint_rx& get_rx() const override { return _rx; }
  const joint_tx& get_tx() const override { return tx(); }
  void set_tx(const joint_tx& tx) override { copy_joint_tx(this->tx(), tx); }
  void set_rx(const joint_rx& rx) { _rx = rx; }

  // Owner's thread, outside its cycle; for detached joints. The tx record
  // moves, value and all, to entry `index` of the array `*block` points to
  // (back into the joint with a null `block`); the owner may repoint
  // `*block` to another array holding the same values between two calls on
  // the joint. The setters, get_tx, set_tx and the raw tx access work there:
  // a robot interface keeps its joints' commands in the aggregated command it
  // has on loan. `*block` must outlive the joint or be released first.
  void keep_tx_in(joint_tx* const* block, size_t index);
  bool get_tx_raw(unsigned char* dst, int size) const override;
  bool set_tx_raw(unsigned char const* src, int size) override;

  // Control cycle, owner's thread; never block, allocate or throw.
  // sense(): true when an rx record arrived since the last call (always false
  // detached). move(): publishes the tx record by loan when attached; true.
  bool sense() override;
  bool move() override;

private:
  void on_rx_recv(const joint_rx& rx);
  joint_tx& tx() { return _tx_block == nullptr ? _tx : (*_tx_block)[_tx_index]; }
  const joint_tx& tx() const { return _tx_block == nullptr ? _tx : (*_tx_block)[_tx_index]; }

  joint_tx* const* _tx_block = nullptr;
  size_t _tx_index = 0;

  // Before the topic ends, which go first.
  PairedEnd<joint_rx, joint_tx> _pair;
  std::shared_ptr<Publisher<joint_tx>> _tx_pub;
  std::shared_ptr<Subscriber<joint_rx>> _rx_sub;
};

}  // namespace Hal
}  // namespace Orvo
