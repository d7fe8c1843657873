#pragma once
// Publishes one aggregated command per cycle for ids 1..n in place of a loan,
// as a controller would: once the pool's messages have their size, nothing
// is allocated.

#include <cmath>
#include <memory>

#include "framework/typed/publisher.h"
#include "orvo2/devices/joint_master_messages.h"

namespace Orvo {
namespace test {

// Control thread; allocates only while a loan still has another size. With
// `unknown_last` the last entry names a joint id the master does not have.
inline bool publish_ramp(Publisher<Hal::JointMasterTx>& publisher, size_t joints, int cycle,
                         bool unknown_last = false) {
  auto loan = publisher.loanMessage();
  if (!loan) {
    return false;
  }
  Hal::JointMasterTx& msg = loan->value();
  if (msg.info.size() != joints || msg.tx.size() != joints) {
    msg = Hal::JointMasterTx(joints);
  }
  msg.sender = "ramp";
  // Slow enough for any rate limit of the dummy arm (5e-7 rad per cycle).
  const float pos = 0.0005f * float(cycle % 1000) / 1000.0f;
  for (size_t i = 0; i < joints; ++i) {
    msg.info[i].id = int(i) + 1;
    msg.tx[i].pos_ref = pos;
    msg.tx[i].vel_ref = 0.0f;
    msg.tx[i].tor_ref = 0.1f;
    msg.tx[i].mask = Hal::joint_tx::POS_REF | Hal::joint_tx::VEL_REF | Hal::joint_tx::TOR_REF;
  }
  if (unknown_last && joints > 0) {
    msg.info[joints - 1].id = 1000;
  }
  return publisher.publishLoaned(std::move(loan));
}

}  // namespace test
}  // namespace Orvo
