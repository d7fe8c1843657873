#pragma once
// The cycle side of a paired device (devices/device_pairing.h): one cell per
// record, written by the end that publishes the record and taken by the end
// that subscribes to it. Both ends keep their publisher and subscriber, so
// the topics look as they would unpaired; the writer publishes on the topic
// only while someone besides the reader subscribes there, and the reader
// then runs its subscriber as well, as it does while someone besides the
// writer publishes there. Records reach the reader in the order written,
// the last one wins. Both ends run in the thread that drives them: the
// cells take no lock and no locked instruction.

#include <atomic>
#include <cstdint>
#include <functional>
#include <new>
#include <typeinfo>
#include <utility>

#include "devices/device_pairing.h"
#include "orvo2/topics/publisher_base.h"
#include "orvo2/topics/subscriber_base.h"

namespace Orvo {
namespace Hal {

template <typename R>
struct PairedCell {
  // Set: the cell holds a record the reader has not taken.
  static constexpr uint32_t InCell = 1;
  // Set: the writer published on the topic since the reader last ran it.
  static constexpr uint32_t OnTopic = 2;

  // The record's topic, kept up to date by it (the writer's publisher
  // watches it).
  TopicCounts counts;
  uint32_t state = 0;
  R record{};

  static CellShape shape() {
    return CellShape{sizeof(PairedCell), alignof(PairedCell), [](void* at) { new (at) PairedCell(); }};
  }
};

// Writer, in its cycle; never blocks or allocates. True when `record` went
// into the cell for the reader's next take; false when it is to be published
// on the topic instead: someone besides the reader subscribes there, or a
// record published there earlier may still wait for the reader.
template <typename R>
bool put_record(PairedCell<R>& cell, const R& record) {
  if ((cell.state & PairedCell<R>::OnTopic) != 0 ||
      cell.counts.subscribers.load(std::memory_order_relaxed) > 1) {
    cell.state |= PairedCell<R>::OnTopic;
    return false;
  }
  cell.record = record;
  cell.state |= PairedCell<R>::InCell;
  return true;
}

// Reader, in its cycle; never blocks or allocates. Delivers the cell's
// record, then what the topic holds when the writer published there or
// someone else publishes there; returns how many records it delivered.
template <typename R, typename Deliver>
int take_records(PairedCell<R>& cell, SubscriberBase& topic, Deliver&& deliver) {
  int delivered = 0;
  if ((cell.state & PairedCell<R>::InCell) != 0) {
    cell.state &= ~PairedCell<R>::InCell;
    deliver(cell.record);
    delivered = 1;
  }
  if ((cell.state & PairedCell<R>::OnTopic) != 0 ||
      cell.counts.publishers.load(std::memory_order_relaxed) > 1) {
    cell.state &= ~PairedCell<R>::OnTopic;
    delivered += topic.run();
  }
  return delivered;
}

// One end's view of its pair: null cells while unpaired.
template <typename Rx, typename Tx>
class PairedEnd {
public:
  PairedEnd() = default;
  PairedEnd(const PairedEnd&) = delete;
  PairedEnd& operator=(const PairedEnd&) = delete;

  // Set-up; allocates. Offers this end of `device` (PairingLink::offer);
  // once paired, the cells are set and `on_paired` runs.
  void offer(PairingLink::End end, const DeviceInfo& device, std::function<void()> on_paired) {
    _link.offer(end, device, typeid(Rx), typeid(Tx), PairedCell<Rx>::shape(), PairedCell<Tx>::shape(),
                [this, on_paired = std::move(on_paired)](void* rx, void* tx) {
                  _rx = static_cast<PairedCell<Rx>*>(rx);
                  _tx = static_cast<PairedCell<Tx>*>(tx);
                  on_paired();
                });
  }

  PairedCell<Rx>* rx() const { return _rx; }
  PairedCell<Tx>* tx() const { return _tx; }

private:
  PairedCell<Rx>* _rx = nullptr;
  PairedCell<Tx>* _tx = nullptr;
  PairingLink _link;
};

}  // namespace Hal
}  // namespace Orvo
