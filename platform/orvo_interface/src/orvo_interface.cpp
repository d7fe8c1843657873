#include "orvo_interface/orvo_interface.h"

#include <stdexcept>

#include <tinyxml.h>
#include <urdf_parser/urdf_parser.h>

#include "orvo_interface/config_options.h"
#include "orvo_interface/logger.h"

namespace Orvo {
namespace {

// Names of the <joint> elements directly under <robot>, in file order
// (the parsed model keeps its joints sorted by name).
std::vector<std::string> joint_names_in_file_order(const std::string& urdf) {
  std::vector<std::string> names;
  TiXmlDocument document;
  document.Parse(urdf.c_str());
  const TiXmlElement* robot = document.FirstChildElement("robot");
  if (robot == nullptr) {
    return names;
  }
  for (const TiXmlElement* joint = robot->FirstChildElement("joint"); joint != nullptr;
       joint = joint->NextSiblingElement("joint")) {
    if (const char* name = joint->Attribute("name")) {
      names.emplace_back(name);
    }
  }
  return names;
}

JointLimits limits_of(const urdf::Joint& joint) {
  JointLimits limits;
  if (!joint.limits) {
    return limits;
  }
  if (joint.type == urdf::Joint::REVOLUTE || joint.type == urdf::Joint::PRISMATIC) {
    limits.lower = joint.limits->lower;
    limits.upper = joint.limits->upper;
  }
  limits.velocity = joint.limits->velocity;
  limits.effort = joint.limits->effort;
  return limits;
}

}  // namespace

bool OrvoInterface::fail(const std::string& what) {
  _joints.clear();
  _names.clear();
  _index.clear();
  Logger::warning(Logger::High) << "robot model of '" << _config_path << "': " << what << Logger::endl;
  return false;
}

bool OrvoInterface::init(const ConfigOptions& options) {
  _config_path = options.get_path();
  _urdf = options.get_urdf();
  _srdf = options.get_srdf();
  _joints.clear();
  _names.clear();
  _index.clear();

  const urdf::ModelInterfaceSharedPtr model = urdf::parseURDF(_urdf);
  if (!model) {
    return fail("the URDF '" + options.get_urdf_path() + "' does not parse");
  }
  const std::map<std::string, int>& ids = options.get_joint_ids();
  for (const auto& configured : ids) {
    const auto joint = model->getJoint(configured.first);
    if (!joint || joint->type == urdf::Joint::FIXED || joint->type == urdf::Joint::UNKNOWN) {
      return fail("joint device '" + configured.first + "' names no movable joint of the URDF");
    }
    if (configured.second < 0) {
      return fail("joint device '" + configured.first + "' has the negative id " +
                  std::to_string(configured.second));
    }
  }
  std::map<int, std::string> owner_of_id;
  for (const std::string& name : joint_names_in_file_order(_urdf)) {
    const auto joint = model->getJoint(name);
    if (!joint || joint->type == urdf::Joint::FIXED || joint->type == urdf::Joint::UNKNOWN ||
        _index.count(name) != 0) {
      continue;
    }
    const auto configured = ids.find(name);
    const int id = configured == ids.end() ? Joint::NoDevice : configured->second;
    if (id != Joint::NoDevice) {
      const auto clash = owner_of_id.emplace(id, name);
      if (!clash.second) {
        return fail("joints '" + clash.first->second + "' and '" + name + "' have the same id " +
                    std::to_string(id));
      }
    }
    _index.emplace(name, static_cast<int>(_joints.size()));
    _joints.push_back(std::make_shared<const Joint>(name, id, limits_of(*joint)));
    _names.push_back(name);
  }
  return true;
}

std::shared_ptr<const Joint> OrvoInterface::getJointByName(const std::string& name) const {
  const auto it = _index.find(name);
  if (it == _index.end()) {
    throw std::out_of_range("robot model has no joint '" + name + "'");
  }
  return _joints[it->second];
}

int OrvoInterface::jointIndex(const std::string& name) const {
  const auto it = _index.find(name);
  return it == _index.end() ? -1 : it->second;
}

}  // namespace Orvo
