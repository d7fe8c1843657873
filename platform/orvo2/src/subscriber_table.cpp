#include "subscriber_table.h"

#include <sched.h>

#include <algorithm>

namespace Orvo {
namespace internal {

SubscriberTable::Reader::Reader(SubscriberTable& table) : _table(table) {
  for (;;) {
    _side = _table._active.load();
    _table._readers[_side].fetch_add(1);
    if (_table._active.load() == _side) {
      return;
    }
    _table._readers[_side].fetch_sub(1);  // a writer switched meanwhile
  }
}

SubscriberTable::Reader::~Reader() { _table._readers[_side].fetch_sub(1); }

template <typename Edit>
void SubscriberTable::write(Edit edit) {
  const int old_side = _active.load();
  const int new_side = 1 - old_side;
  edit(_sides[new_side]);
  _active.store(new_side);
  while (_readers[old_side].load() != 0) {
    sched_yield();
  }
  edit(_sides[old_side]);
}

void SubscriberTable::add(DeliveryQueue* queue) {
  write([queue](std::vector<DeliveryQueue*>& side) { side.push_back(queue); });
}

void SubscriberTable::remove(DeliveryQueue* queue) {
  write([queue](std::vector<DeliveryQueue*>& side) {
    side.erase(std::remove(side.begin(), side.end(), queue), side.end());
  });
}

}  // namespace internal
}  // namespace Orvo
