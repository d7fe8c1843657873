#pragma once
// Bounds of a joint command: every field the checked record's mask selects
// must lie within [min, max]; every field a delta's mask selects must not
// exceed max_delta in magnitude. Unset bounds do not bind (min is -inf,
// max and max_delta +inf at construction). NaN never passes.

#include "devices/joint_records.h"

namespace Orvo {
namespace Hal {

struct joint_tx_limits {
  joint_tx min;
  joint_tx max;
  joint_tx max_delta;

  joint_tx_limits();

  // Control-cycle thread: never allocates; a violation is reported in the
  // process journal (field, value, bounds) before false is returned.
  bool check_tx(const joint_tx& tx) const;
  bool check_delta_tx(const joint_tx& delta) const;
};

}  // namespace Hal
}  // namespace Orvo
