#pragma once
// The command pipeline of one joint: takes over the commanded fields the
// control mask lets through, smooths them with a second-order low-pass
// filter, checks them against the joint's limits and rate limit, lets
// velocity and torque references expire and writes one command per cycle to
// the joint. Owned by the joint master; every member runs in the master's
// worker thread (cycle and service handlers alike), so nothing is locked.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "deadline_clock.h"
#include "devices/joint_records.h"
#include "orvo2/context/journal.h"
#include "orvo2/devices/joint_base.h"
#include "orvo2/devices/joint_tx_limits.h"

namespace Orvo {
namespace Hal {

// One entry of the command filter's histories: the five command fields in
// double precision. With coefficients near 1e5 a single-precision recursion
// loses the filter's unity gain at rest.
struct FilterSample {
  double pos_ref = 0.0;
  double vel_ref = 0.0;
  double tor_ref = 0.0;
  double stiffness = 0.0;
  double damping = 0.0;

  FilterSample() = default;
  explicit FilterSample(const joint_tx& tx);
};

struct JointTxData {
  std::string name;
  Journal* journal;                   // not owned; outlives the record
  std::function<bool()> on_violation;  // true: send nothing this cycle
  std::shared_ptr<JointBase> joint;
  joint_tx target;
  joint_tx last_sent;
  joint_tx filtered;
  joint_tx_limits limits;
  bool filter_enabled = false;
  // Filter: omega^2 / (s^2 + 2 zeta omega s + omega^2), Tustin at ts; the
  // numerator is 1, b1, b2. Initial values: 1 Hz, zeta 0.8, ts 1 ms.
  double omega = 6.283185307179586;
  double zeta = 0.8;
  double ts = 0.001;
  double b1 = 2.0;
  double b2 = 1.0;
  double a0 = 101831.47946023183;
  double a1 = -202640.36728467554;
  double a2 = 100812.88782444371;
  bool filter_initialised = false;
  // initialise() has seen the joint's state: until then last_sent is no
  // position of the joint, and a position outside the range is refused.
  bool sensed = false;
  // A violation of this joint was logged in the safety stop under way.
  bool violation_logged = false;
  FilterSample y, y1, y2;
  FilterSample x, x1, x2;
  int64_t vel_deadline;  // ns on the deadline clock
  int64_t tor_deadline;
  int64_t vel_timeout = 100000000;
  int64_t tor_timeout = 100000000;

  // Set-up; allocates. Default limits, filter off, deadlines already due.
  JointTxData(std::string joint_name, Journal* master_journal);

  // Worker thread; never allocates. Takes the fields that both tx's own mask
  // and the low byte of `mask` select into `target`, and re-arms the
  // velocity and torque deadlines of the fields taken from `now` (ns,
  // deadline clock; one reading may serve a whole message).
  void apply_tx(const joint_tx& tx, uint32_t mask, int64_t now = deadline_clock_now());

  // Worker thread; never allocates. Falls back to the last sent command
  // (its non-finite fields and negative gains made 0): target, filtered and the filter
  // histories become last_sent.
  void reset();

  // Worker thread, once per cycle; never allocates or throws. Filter step,
  // limit checks (every field; gains finite and non-negative; a position
  // outside its range passes while it does not move further out than the
  // last command, once the joint has been sensed, so a joint that starts
  // there can be brought back) and rate check, expiry at `now` (ns, deadline clock; one reading
  // may serve every joint of the cycle), then set_tx and move on the joint.
  // Without `report` a violation is not logged (one of this joint was logged
  // in the stop under way); a logged one sets violation_logged.
  void process_and_publish(int64_t now = deadline_clock_now(), bool report = true);

  // Worker thread; never allocates. The joint's first rx: the target holds
  // the joint where it is; last_sent and the histories follow.
  void initialise(const joint_rx& rx);

  // Service handler; never allocates. New coefficients for sample time
  // `sample_time` (s, > 0) and cut-off `cutoff_hz` (> 0) with zeta 1; the
  // filter restarts from last_sent.
  void set_filter(double sample_time, double cutoff_hz);
};

// The filter's denominator for sample time `sample_time` (s) and cut-off
// `cutoff_hz` with zeta 1; any thread, pure. A cut-off far below the sample
// rate makes them overflow to infinity.
struct FilterDenominator {
  double a0;
  double a1;
  double a2;
};
FilterDenominator filter_denominator(double sample_time, double cutoff_hz);

}  // namespace Hal
}  // namespace Orvo
