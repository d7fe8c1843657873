#include "orvo2/devices/joint_tx_limits.h"

#include <cmath>
#include <limits>

#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"

namespace Orvo {
namespace Hal {
namespace {

struct Field {
  uint8_t bit;
  const char* name;
  float joint_tx::*member;
};

constexpr Field fields[] = {
    {joint_tx::POS_REF, "pos_ref", &joint_tx::pos_ref},
    {joint_tx::VEL_REF, "vel_ref", &joint_tx::vel_ref},
    {joint_tx::TOR_REF, "tor_ref", &joint_tx::tor_ref},
    {joint_tx::STIFFNESS, "stiffness", &joint_tx::stiffness},
    {joint_tx::DAMPING, "damping", &joint_tx::damping},
};

joint_tx filled(float value) {
  joint_tx r;
  for (const auto& f : fields) {
    r.*f.member = value;
  }
  r.mask = joint_tx::ALL;
  return r;
}

}  // namespace

joint_tx_limits::joint_tx_limits()
    : min(filled(-std::numeric_limits<float>::infinity())),
      max(filled(std::numeric_limits<float>::infinity())),
      max_delta(filled(std::numeric_limits<float>::infinity())) {}

bool joint_tx_limits::check_tx(const joint_tx& tx) const {
  for (const auto& f : fields) {
    if (!(tx.mask & f.bit)) {
      continue;
    }
    const float value = tx.*f.member;
    const float lo = min.*f.member;
    const float hi = max.*f.member;
    if (!(value >= lo && value <= hi)) {
      Context().journal().jhigh().vlog(Journal::Warning,
                                       "joint_tx_limits: {} = {} outside [{}, {}] \n", f.name,
                                       value, lo, hi);
      return false;
    }
  }
  return true;
}

bool joint_tx_limits::check_delta_tx(const joint_tx& delta) const {
  for (const auto& f : fields) {
    if (!(delta.mask & f.bit)) {
      continue;
    }
    const float value = delta.*f.member;
    const float bound = max_delta.*f.member;
    if (!(std::fabs(value) <= bound)) {
      Context().journal().jhigh().vlog(Journal::Warning,
                                       "joint_tx_limits: rate of {} = {} /s exceeds {} /s \n",
                                       f.name, value, bound);
      return false;
    }
  }
  return true;
}

}  // namespace Hal
}  // namespace Orvo
