#pragma once
// Filling a joint's command limits: the unbounded defaults and the bounds a
// URDF joint declares.

#include <memory>
#include <string>

#include "orvo2/devices/joint_tx_limits.h"

namespace urdf {
class Joint;
}

namespace Orvo {
namespace Hal {

// Set-up or service handler; never allocates. Position, velocity and effort
// of min/max become -FLT_MAX/+FLT_MAX, the position rate +FLT_MAX; every other
// field keeps its value.
void set_default_limits(joint_tx_limits& limits);

// Any thread; never allocates. check_tx and check_delta_tx of `limits`
// without their report (for violations that were reported already).
bool within_limits(const joint_tx_limits& limits, const joint_tx& tx);
bool within_rate(const joint_tx_limits& limits, const joint_tx& delta);

// Set-up; allocates. Empty when the joint's URDF limits can be used (or it
// declares none), else what is wrong with them, naming the field and its
// value: "URDF lower limit 1.5 is above upper limit -1.5".
std::string urdf_limits_fault(const urdf::Joint& joint);

// Set-up or service handler; never allocates. From the joint's URDF limits:
// position bounds as declared (none for a continuous joint), velocity,
// effort and the position rate (the velocity) times `scaling`. An empty
// joint, or one without limits, leaves `limits` unchanged. Unusable URDF
// limits (NaN, lower above upper, a negative velocity or effort) leave them
// unchanged too and give false.
bool set_urdf_limits(joint_tx_limits& limits, const std::shared_ptr<const urdf::Joint>& joint,
                     double scaling);

// The first field of a joint's limits whose bounds cannot be met or mean
// nothing: NaN, min above max, a negative rate bound. `field` is null when
// every field is usable.
struct LimitFault {
  const char* field = nullptr;
  float min = 0.0f;
  float max = 0.0f;
  float max_delta = 0.0f;
};

// Any thread; never allocates.
LimitFault find_limit_fault(const joint_tx_limits& limits);

}  // namespace Hal
}  // namespace Orvo
