#include "joint/pid_gains.h"

#include <fmt/format.h>

#include <gazebo/common/Console.hh>

namespace Orvo {

namespace {

std::string text_attribute(const sdf::ElementPtr& element, const std::string& key) {
  const sdf::ParamPtr attribute = element->GetAttribute(key);
  return attribute ? attribute->GetAsString() : std::string();
}

// The attribute parsed as a double; an absent one (or one that does not
// parse) leaves `value` as it is.
bool double_attribute(const sdf::ElementPtr& element, const std::string& key, double& value) {
  const sdf::ParamPtr attribute = element->GetAttribute(key);
  if (!attribute) return false;
  attribute->Get<double>(value);
  return true;
}

}  // namespace

void apply_pid_gains(const sdf::ElementPtr& pid, const GzJointMap& joints) {
  std::map<std::string, pid_gain> profiles;
  for (sdf::ElementPtr element = pid->GetFirstElement(); element; element = element->GetNextElement()) {
    const std::string name = text_attribute(element, "name");
    const std::string profile = text_attribute(element, "profile");
    pid_gain gain;
    const bool has_p = double_attribute(element, "p", gain.p);
    const bool has_d = double_attribute(element, "d", gain.d);
    if (profile.empty()) {
      if (!has_p) gzerr << fmt::format("joint '{}': 'p' attribute missing \n", name);
      if (!has_d) gzerr << fmt::format("joint '{}': 'd' attribute missing \n", name);
    }

    const auto joint = joints.find(name);
    if (joint == joints.end()) {
      profiles[name] = gain;
      continue;
    }
    if (!profile.empty()) {
      const auto defined = profiles.find(profile);
      if (defined == profiles.end()) {
        gzerr << fmt::format("profile '{}' for joint '{}' is undefined \n", profile, name);
        continue;
      }
      gain = defined->second;
    }
    joint->second->set_gains(gain.p, gain.d);
    gzlog << fmt::format("set gains for '{}' to p = {}, d = {} \n", name, gain.p, gain.d);
  }
}

}  // namespace Orvo
