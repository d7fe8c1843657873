#pragma once
// The options a robot is made from: the configuration file's path, the texts
// of the robot's URDF and SRDF, the ids of its joint devices, and named
// parameters of any type that the program adds. Options are plain values:
// copy them freely; no method is meant for a control cycle.

#include <map>
#include <string>

#include <boost/any.hpp>

namespace YAML {
class Node;
}

namespace Orvo {

class ConfigOptions {
public:
  ConfigOptions() = default;

  // Set-up only; allocates. Reads the YAML configuration at `path`, resolves
  // "robot/urdf" and "robot/srdf" relative to the file's folder and reads
  // both texts, and collects the ids of the joint devices ("joints").
  // Throws std::runtime_error naming the file and what is wrong.
  static ConfigOptions FromConfigFile(const std::string& path);

  const std::string& get_path() const { return _path; }
  const std::string& get_urdf() const { return _urdf; }
  const std::string& get_srdf() const { return _srdf; }
  const std::string& get_urdf_path() const { return _urdf_path; }
  // Joint name → joint id, from the configuration's joint devices.
  const std::map<std::string, int>& get_joint_ids() const { return _joint_ids; }

  // Set-up only; allocates. Stores a copy of `value` under `name`, replacing
  // what was there (whatever its type). Always true.
  template <typename T>
  bool set_parameter(std::string name, const T& value) {
    _parameters.insert_or_assign(std::move(name), boost::any(value));
    return true;
  }

  // Any thread that owns the options. False, leaving `out` untouched, when
  // nothing is stored under `name` or the value is not a T.
  template <typename T>
  bool get_parameter(const std::string& name, T& out) const {
    auto it = _parameters.find(name);
    if (it == _parameters.end()) {
      return false;
    }
    const T* value = boost::any_cast<T>(&it->second);
    if (value == nullptr) {
      return false;
    }
    out = *value;
    return true;
  }

private:
  static ConfigOptions from_yaml(const std::string& path, const YAML::Node& root);

  std::string _path;
  std::string _urdf;
  std::string _srdf;
  std::string _urdf_path;
  std::map<std::string, int> _joint_ids;
  std::map<std::string, boost::any> _parameters;
};

}  // namespace Orvo
