#pragma once
// The robot model: the URDF and SRDF texts and the robot's non-fixed joints,
// in the order the URDF lists them, each with the id of its configured joint
// device. Built once by init(); afterwards every const method is safe from
// any thread and allocates nothing unless it says so.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "orvo_interface/joint.h"

namespace Orvo {

class ConfigOptions;

class OrvoInterface {
public:
  OrvoInterface() = default;
  virtual ~OrvoInterface() = default;

  // Set-up only; allocates. Parses the options' URDF and gives each joint the
  // id of its joint device from the options. On failure logs what failed
  // (Logger::warning) and returns false, leaving a model without joints.
  virtual bool init(const ConfigOptions& options);

  const std::string& getUrdfString() const { return _urdf; }
  const std::string& getSrdfString() const { return _srdf; }
  // The configuration file the model was initialised from.
  const std::string& getConfigPath() const { return _config_path; }

  bool hasJoint(const std::string& name) const { return _index.count(name) != 0; }
  // Throws std::out_of_range naming the joint when the model has none by that name.
  std::shared_ptr<const Joint> getJointByName(const std::string& name) const;
  // Non-fixed joint names, in URDF order.
  const std::vector<std::string>& getJointNames() const { return _names; }
  int getJointNum() const { return static_cast<int>(_joints.size()); }

protected:
  // Position of the joint in getJointNames(), or -1. Never allocates.
  int jointIndex(const std::string& name) const;

private:
  bool fail(const std::string& what);

  std::string _config_path;
  std::string _urdf;
  std::string _srdf;
  std::vector<std::shared_ptr<const Joint>> _joints;
  std::vector<std::string> _names;
  std::map<std::string, int> _index;
};

}  // namespace Orvo
