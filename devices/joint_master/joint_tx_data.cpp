#include "joint_tx_data.h"

#include <cmath>

#include "joint_command_limits.h"

namespace Orvo {
namespace Hal {
namespace {

constexpr double kTwoPi = 6.283185307179586;

// One step of a0·y = x + b1·x1 + b2·x2 − a1·y1 − a2·y2, written as the change
// from y1. The design gives a0 + a1 + a2 = 1 + b1 + b2 (unity gain at rest),
// so a0·(y − y1) = (x − y1) + b1·(x1 − y1) + b2·(x2 − y1) + a2·(y1 − y2):
// a filter at rest stays exactly where it is and a step settles exactly on
// its value.
double filter_step(const JointTxData& f, double x, double x1, double x2, double y1, double y2) {
  return y1 + ((x - y1) + f.b1 * (x1 - y1) + f.b2 * (x2 - y1) + f.a2 * (y1 - y2)) / f.a0;
}

// A position outside [lo, hi] that is no further out than `last`, on the
// same side: a joint that started outside its range, held or on its way back.
bool returning(float pos, float last, float lo, float hi) {
  return (pos > hi && pos <= last) || (pos < lo && pos >= last);
}

bool usable_gain(float gain) { return std::isfinite(gain) && gain >= 0.0f; }

// Every non-finite field of `tx`, and a negative gain, becomes 0.
joint_tx sendable(joint_tx tx) {
  for (float* field : {&tx.pos_ref, &tx.vel_ref, &tx.tor_ref}) {
    if (!std::isfinite(*field)) {
      *field = 0.0f;
    }
  }
  for (float* gain : {&tx.stiffness, &tx.damping}) {
    if (!usable_gain(*gain)) {
      *gain = 0.0f;
    }
  }
  return tx;
}

// Worker thread, once per cycle; never allocates or throws. One step of the
// command filter on `target`: `filtered` holds the smoothed position and
// velocity references and gains, the torque reference as it is, the mask.
void step_filter(JointTxData& d) {
  if (!d.filter_initialised) {
    d.y = d.y1 = d.y2 = FilterSample();
    d.x = d.x1 = d.x2 = d.y;
    d.filter_initialised = true;
  }
  d.y2 = d.y1;
  d.y1 = d.y;
  d.x2 = d.x1;
  d.x1 = d.x;
  d.x = FilterSample(d.target);
  d.y.pos_ref = filter_step(d, d.x.pos_ref, d.x1.pos_ref, d.x2.pos_ref, d.y1.pos_ref, d.y2.pos_ref);
  d.y.vel_ref = filter_step(d, d.x.vel_ref, d.x1.vel_ref, d.x2.vel_ref, d.y1.vel_ref, d.y2.vel_ref);
  d.y.tor_ref = filter_step(d, d.x.tor_ref, d.x1.tor_ref, d.x2.tor_ref, d.y1.tor_ref, d.y2.tor_ref);
  d.y.stiffness =
      filter_step(d, d.x.stiffness, d.x1.stiffness, d.x2.stiffness, d.y1.stiffness, d.y2.stiffness);
  d.y.damping = filter_step(d, d.x.damping, d.x1.damping, d.x2.damping, d.y1.damping, d.y2.damping);
  d.filtered.pos_ref = static_cast<float>(d.y.pos_ref);
  d.filtered.vel_ref = static_cast<float>(d.y.vel_ref);
  d.filtered.tor_ref = d.target.tor_ref;  // the torque reference passes unfiltered
  d.filtered.stiffness = static_cast<float>(d.y.stiffness);
  d.filtered.damping = static_cast<float>(d.y.damping);
  d.filtered.mask = d.target.mask;
}

// Worker thread; never allocates or throws. Zeroes the velocity and torque
// references of `out` whose deadline has passed at `now`. Expired references
// are zeroed before the checks, so that what is checked is what is sent: a
// reference above a limit lowered under it ends its stop when it expires. A
// deadline further ahead than its time-out was set on a clock that has gone
// back since (a restarted simulator): expired too.
void expire_references(const JointTxData& d, joint_tx& out, int64_t now) {
  if (now > d.vel_deadline || d.vel_deadline - now > d.vel_timeout) {
    out.vel_ref = 0.0f;
  }
  if (now > d.tor_deadline || d.tor_deadline - now > d.tor_timeout) {
    out.tor_ref = 0.0f;
  }
}

// Worker thread; never allocates or throws. True when every field of `out`
// lies within the joint's limits (a position returning into its range
// passes) and its gains are finite and non-negative. With `report` a
// violation is logged and sets violation_logged.
bool command_within_limits(JointTxData& d, const joint_tx& out, bool report) {
  // The joint receives every field whatever the command carried (the record
  // goes out with the mask 0xFF), so every field is checked.
  joint_tx checked = out;
  checked.mask = joint_tx::ALL;
  const joint_tx_limits& limits = d.limits;
  if (d.sensed && returning(out.pos_ref, d.last_sent.pos_ref, limits.min.pos_ref, limits.max.pos_ref)) {
    checked.pos_ref = out.pos_ref > limits.max.pos_ref ? limits.max.pos_ref : limits.min.pos_ref;
  }
  bool within = report ? limits.check_tx(checked) : within_limits(limits, checked);
  // Whatever the limits say, the joint's control law needs finite,
  // non-negative gains.
  if (within && !(usable_gain(out.stiffness) && usable_gain(out.damping))) {
    if (report) {
      d.journal->jhigh().vlog(Journal::Warning,
                              "'{}' gains must be finite and non-negative: stiffness = {}, "
                              "damping = {} \n",
                              d.name, out.stiffness, out.damping);
    }
    within = false;
  }
  if (!within && report) {
    d.journal->jhigh().vlog(Journal::Warning, "'{}' safety limit violation detected in tx (see above) \n",
                            d.name);
    d.violation_logged = true;
  }
  return within;
}

// Worker thread; never allocates or throws. True when the position moves
// from the last sent command to `out` within the joint's rate limit. With
// `report` a violation is logged and sets violation_logged.
bool change_within_rate(JointTxData& d, const joint_tx& out, bool report) {
  joint_tx delta = (out - d.last_sent) / float(d.ts);
  delta.mask = joint_tx::POS_REF;
  const bool within = report ? d.limits.check_delta_tx(delta) : within_rate(d.limits, delta);
  if (!within && report) {
    d.journal->jhigh().vlog(Journal::Warning,
                            "'{}' safety limit violation detected in delta tx (see above) \n", d.name);
    d.violation_logged = true;
  }
  return within;
}

}  // namespace

FilterSample::FilterSample(const joint_tx& tx)
    : pos_ref(tx.pos_ref),
      vel_ref(tx.vel_ref),
      tor_ref(tx.tor_ref),
      stiffness(tx.stiffness),
      damping(tx.damping) {}

JointTxData::JointTxData(std::string joint_name, Journal* master_journal)
    : name(std::move(joint_name)),
      journal(master_journal),
      on_violation([] { return true; }),
      vel_deadline(deadline_clock_now()),
      tor_deadline(vel_deadline) {
  set_default_limits(limits);
}

void JointTxData::apply_tx(const joint_tx& tx, uint32_t mask, int64_t now) {
  // Only the fields the command carries: a torque-only command must not
  // overwrite the position reference and gains with whatever it holds there.
  const uint32_t taken = tx.mask & mask;
  target.apply(tx, static_cast<uint8_t>(taken & 0xFFu));
  if (taken & joint_tx::VEL_REF) {
    vel_deadline = now + vel_timeout;
  }
  if (taken & joint_tx::TOR_REF) {
    tor_deadline = now + tor_timeout;
  }
}

void JointTxData::reset() {
  // What the joint echoed at its first rx may be anything; the fall-back
  // after a stop must be a command that can be sent again.
  last_sent = sendable(last_sent);
  target = last_sent;
  filtered = last_sent;
  y = y1 = y2 = FilterSample(last_sent);
  x = x1 = x2 = y;
  filter_initialised = true;
}

void JointTxData::initialise(const joint_rx& rx) {
  sensed = true;
  target.reset(rx);
  last_sent = target;
  y = y1 = y2 = FilterSample(target);
  x = x1 = x2 = y;
  filter_initialised = true;
}

FilterDenominator filter_denominator(double sample_time, double cutoff_hz) {
  const double zeta = 1.0;
  const double w = kTwoPi * cutoff_hz * sample_time;
  return FilterDenominator{1.0 + 4.0 * zeta / w + 4.0 / (w * w), 2.0 - 8.0 / (w * w),
                           1.0 - 4.0 * zeta / w + 4.0 / (w * w)};
}

void JointTxData::set_filter(double sample_time, double cutoff_hz) {
  ts = sample_time;
  zeta = 1.0;
  omega = kTwoPi * cutoff_hz;
  b1 = 2.0;
  b2 = 1.0;
  const FilterDenominator denominator = filter_denominator(sample_time, cutoff_hz);
  a0 = denominator.a0;
  a1 = denominator.a1;
  a2 = denominator.a2;
  filter_initialised = true;
  y = y1 = y2 = FilterSample(last_sent);
  x = x1 = x2 = y;
}

void JointTxData::process_and_publish(int64_t now, bool report) {
  step_filter(*this);
  joint_tx& out = filter_enabled ? filtered : target;
  expire_references(*this, out, now);
  if (!command_within_limits(*this, out, report) && on_violation()) {
    return;
  }
  if (!change_within_rate(*this, out, report) && on_violation()) {
    return;
  }
  out.mask = joint_tx::ALL;
  if (joint) {
    joint->set_tx(out);
    joint->move();
  }
  last_sent = out;
}

}  // namespace Hal
}  // namespace Orvo
