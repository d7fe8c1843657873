#pragma once
// The `pid` element of the joint server: per-joint gains, given directly or
// through named gain profiles.
//
//   <pid>
//     <gain name="stiff" p="300" d="10"/>            defines the profile "stiff"
//     <gain name="shoulder" profile="stiff"/>        a joint takes a profile
//     <gain name="wrist" p="50" d="2"/>              or its own gains
//   </pid>
//
// Children are handled in document order whatever their tag. A child whose
// name is a served joint sets that joint's gains (a defined profile wins over
// its own p and d); any other child defines (or redefines) the profile of its
// name. Bad entries are reported on the simulator's error stream and never
// throw.

#include <map>
#include <memory>
#include <string>

#include <sdf/Element.hh>

#include "joint/joint_instance_gz.h"

namespace Orvo {

struct pid_gain {
  double p = 0;
  double d = 0;
};

using GzJointMap = std::map<std::string, std::shared_ptr<JointInstanceGz>>;

// Simulator loading thread; allocates and logs. Sets the command gains of the
// joints that the children of `pid` name; logs every gain set.
void apply_pid_gains(const sdf::ElementPtr& pid, const GzJointMap& joints);

}  // namespace Orvo
