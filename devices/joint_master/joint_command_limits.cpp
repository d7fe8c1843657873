#include "joint_command_limits.h"

#include <cfloat>
#include <cmath>
#include <cstdint>

#include <fmt/format.h>
#include <urdf_model/joint.h>

namespace Orvo {
namespace Hal {
namespace {

struct Field {
  const char* name;
  uint8_t bit;
  float joint_tx::*member;
};

constexpr Field kFields[] = {
    {"pos_ref", joint_tx::POS_REF, &joint_tx::pos_ref},
    {"vel_ref", joint_tx::VEL_REF, &joint_tx::vel_ref},
    {"tor_ref", joint_tx::TOR_REF, &joint_tx::tor_ref},
    {"stiffness", joint_tx::STIFFNESS, &joint_tx::stiffness},
    {"damping", joint_tx::DAMPING, &joint_tx::damping},
};

}  // namespace

bool within_limits(const joint_tx_limits& limits, const joint_tx& tx) {
  for (const Field& f : kFields) {
    const float value = tx.*f.member;
    if ((tx.mask & f.bit) && !(value >= limits.min.*f.member && value <= limits.max.*f.member)) {
      return false;
    }
  }
  return true;
}

bool within_rate(const joint_tx_limits& limits, const joint_tx& delta) {
  for (const Field& f : kFields) {
    if ((delta.mask & f.bit) && !(std::fabs(delta.*f.member) <= limits.max_delta.*f.member)) {
      return false;
    }
  }
  return true;
}

void set_default_limits(joint_tx_limits& limits) {
  limits.min.pos_ref = -FLT_MAX;
  limits.min.vel_ref = -FLT_MAX;
  limits.min.tor_ref = -FLT_MAX;
  limits.max.pos_ref = FLT_MAX;
  limits.max.vel_ref = FLT_MAX;
  limits.max.tor_ref = FLT_MAX;
  limits.max_delta.pos_ref = FLT_MAX;
}

LimitFault find_limit_fault(const joint_tx_limits& limits) {
  for (const Field& f : kFields) {
    const float lo = limits.min.*f.member;
    const float hi = limits.max.*f.member;
    const float rate = limits.max_delta.*f.member;
    if (!(lo <= hi) || !(rate >= 0.0f)) {
      return LimitFault{f.name, lo, hi, rate};
    }
  }
  return LimitFault{};
}

std::string urdf_limits_fault(const urdf::Joint& joint) {
  if (!joint.limits) {
    return {};
  }
  const urdf::JointLimits& limits = *joint.limits;
  // A continuous joint declares no position bounds (its lower and upper read 0).
  if (joint.type != urdf::Joint::CONTINUOUS) {
    for (const auto& [name, value] : {std::make_pair("lower", limits.lower), std::make_pair("upper", limits.upper)}) {
      if (std::isnan(value)) {
        return fmt::format("URDF {} limit {} is not a number", name, value);
      }
    }
    if (limits.lower > limits.upper) {
      return fmt::format("URDF lower limit {} is above upper limit {}", limits.lower, limits.upper);
    }
  }
  for (const auto& [name, value] : {std::make_pair("velocity", limits.velocity), std::make_pair("effort", limits.effort)}) {
    if (std::isnan(value)) {
      return fmt::format("URDF {} limit {} is not a number", name, value);
    }
    if (value < 0.0) {
      return fmt::format("URDF {} limit {} is negative", name, value);
    }
  }
  return {};
}

bool set_urdf_limits(joint_tx_limits& limits, const std::shared_ptr<const urdf::Joint>& joint,
                     double scaling) {
  if (!joint || !joint->limits) {
    return true;
  }
  const urdf::JointLimits& urdf_limits = *joint->limits;
  const double velocity = urdf_limits.velocity * scaling;
  const double effort = urdf_limits.effort * scaling;
  // A continuous joint declares no position bounds (its lower and upper read 0).
  const bool bounded = joint->type != urdf::Joint::CONTINUOUS;
  if ((bounded && !(urdf_limits.lower <= urdf_limits.upper)) || !(velocity >= 0.0) ||
      !(effort >= 0.0)) {
    return false;
  }
  limits.min.pos_ref = bounded ? static_cast<float>(urdf_limits.lower) : -FLT_MAX;
  limits.max.pos_ref = bounded ? static_cast<float>(urdf_limits.upper) : FLT_MAX;
  limits.max.vel_ref = static_cast<float>(velocity);
  limits.min.vel_ref = static_cast<float>(-velocity);
  limits.max_delta.pos_ref = static_cast<float>(velocity);
  limits.max.tor_ref = static_cast<float>(effort);
  limits.min.tor_ref = static_cast<float>(-effort);
  return true;
}

}  // namespace Hal
}  // namespace Orvo
