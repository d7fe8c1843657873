// The joint master's tuning services: control mask, command limits (given or
// from the URDF) and the command filter. Every handler runs inside run(), in
// the master's worker thread.

#include <chrono>
#include <cmath>
#include <stdexcept>

#include <fmt/chrono.h>
#include <urdf_model/model.h>

#include "joint_command_limits.h"
#include "joint_device_master.h"

namespace Orvo {
namespace Hal {

bool JointDeviceMaster::enableTxFilter(const bool& on, bool& ok) {
  if (!read_period()) {
    jhigh().vlog(Error, "cannot enable filter: period parameter unspecified \n");
    ok = false;
    return true;
  }
  if (period.count() <= 0) {
    jhigh().vlog(Error, "cannot enable filter: period parameter invalid \n");
    ok = false;
    return true;
  }
  if (on && !(cutoff_below_nyquist(tx_filter_cutoff) && coefficients_finite(tx_filter_cutoff))) {
    ok = false;
    return true;
  }
  const std::chrono::duration<double> seconds = period;
  jlow().vlog(Info, "filter {} successfully with period = {}, cutoff = {} Hz \n",
              on ? "enabled" : "disabled", seconds, tx_filter_cutoff);
  for (auto& entry : tx_map) {
    entry.second.filter_enabled = on;
  }
  set_filter_all(tx_filter_cutoff);
  tx_filter_enabled = on;
  ok = true;
  return true;
}

bool JointDeviceMaster::setFilterProperties(const double& hz, bool& ok) {
  if (!(hz > 0.0) || !std::isfinite(hz)) {
    jhigh().vlog(Error, "invalid cutoff frequency requested ({} Hz) \n", hz);
    ok = false;
    return true;
  }
  read_period();  // the thread's period when it is set, else the one last read
  if (period.count() <= 0) {
    jhigh().vlog(Error, "cannot set cutoff frequency to {} Hz: control period unknown \n", hz);
    ok = false;
    return true;
  }
  if (!cutoff_below_nyquist(hz) || !coefficients_finite(hz)) {
    ok = false;
    return true;
  }
  tx_filter_cutoff = hz;
  set_filter_all(hz);
  jlow().vlog(Info, "set cutoff frequency to {} Hz \n", hz);
  ok = true;
  return true;
}

bool JointDeviceMaster::cutoff_below_nyquist(double hz) {
  const double nyquist_hz = 0.5e9 / static_cast<double>(period.count());
  if (hz < nyquist_hz) {
    return true;
  }
  jhigh().vlog(Error,
               "invalid cutoff frequency requested ({} Hz): not below half the sample rate "
               "({} Hz) \n",
               hz, nyquist_hz);
  return false;
}

bool JointDeviceMaster::coefficients_finite(double hz) {
  const FilterDenominator denominator =
      filter_denominator(static_cast<double>(period.count()) / 1e9, hz);
  if (std::isfinite(denominator.a0) && std::isfinite(denominator.a1) &&
      std::isfinite(denominator.a2)) {
    return true;
  }
  const std::chrono::duration<double> seconds = period;
  jhigh().vlog(Error,
               "invalid cutoff frequency requested ({} Hz): the filter's coefficients at a period "
               "of {} are not finite \n",
               hz, seconds);
  return false;
}

void JointDeviceMaster::set_filter_all(double cutoff_hz) {
  const double sample_time = static_cast<double>(period.count()) / 1e9;
  for (auto& entry : tx_map) {
    entry.second.set_filter(sample_time, cutoff_hz);
  }
}

bool JointDeviceMaster::on_set_mask(const unsigned& m, bool& ok) {
  jlow().vlog(Info, "joint_master: setting mask to {} \n", m);
  if (m != 0 && stop_trips != 0) {
    // The commands held since the stop broke a limit in the last cycle: the
    // joints stop again at once unless a new command mends them. That next
    // violation is reported in full, as a stop of its own.
    jhigh().vlog(Warning,
                 "joint_master: mask {} set during a safety stop ({} violations so far): the "
                 "commands held since it began still break a limit and stop the joints again "
                 "unless a new command mends them \n",
                 m, stop_trips);
    stop_trips = 0;
  }
  mask = m;
  ok = true;
  return true;
}

bool JointDeviceMaster::on_set_limits(const JointMasterLimits& req, bool& ok) {
  jlow().vlog(Info, "setting new safety limits \n");
  if (req.limits.size() < req.info.size()) {
    vlog(Error, "set_limits refused: {} limits for {} joints \n", req.limits.size(),
         req.info.size());
    ok = false;
    return true;
  }
  for (size_t i = 0; i < req.info.size(); ++i) {
    const LimitFault fault = find_limit_fault(req.limits[i]);
    if (fault.field) {
      jhigh().vlog(Error,
                   "set_limits refused: joint id {} {} bounds [{}, {}], rate {} are unusable \n",
                   req.info[i].id, fault.field, fault.min, fault.max, fault.max_delta);
      ok = false;
      return true;
    }
  }
  for (size_t i = 0; i < req.info.size(); ++i) {
    const auto record = tx_map.find(req.info[i].id);
    if (record == tx_map.end()) {
      throw_unknown_id(req.info[i].id);
    }
    record->second.limits = req.limits[i];
  }
  ok = true;
  return true;
}

bool JointDeviceMaster::on_set_urdf_limits(const double& scaling, bool& ok) {
  jlow().vlog(Info, "setting safety limits from urdf (scaling = {}) \n", scaling);
  if (!urdf_model) {
    jmid().vlog(Warning, "no urdf model available, check parameter '/robot_description' \n");
    ok = false;
    return true;
  }
  if (!(scaling > 0.0) || !std::isfinite(scaling)) {
    jhigh().vlog(Error, "invalid urdf limits scaling requested ({}) \n", scaling);
    ok = false;
    return true;
  }
  ok = true;
  for (auto& entry : tx_map) {
    const auto joint = urdf_model->getJoint(entry.second.name);
    if (!set_urdf_limits(entry.second.limits, joint, scaling)) {
      const urdf::JointLimits& refused = *joint->limits;
      jhigh().vlog(Error,
                   "urdf limits of joint '{}' refused: lower = {}, upper = {}, velocity = {}, "
                   "effort = {} \n",
                   entry.second.name, refused.lower, refused.upper, refused.velocity,
                   refused.effort);
      ok = false;
    }
  }
  return true;
}

}  // namespace Hal
}  // namespace Orvo
