#include "orvo_interface/config_options.h"

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fmt/format.h>
#include <yaml-cpp/yaml.h>

namespace Orvo {
namespace {

[[noreturn]] void fail(const std::string& file, const std::string& what) {
  throw std::runtime_error(fmt::format("{}: {}", file, what));
}

YAML::Node load_yaml(const std::string& path) {
  if (path.empty()) {
    throw std::runtime_error("configuration file path is empty");
  }
  std::ifstream in(path);
  if (!in) {
    fail(path, "cannot open the configuration file");
  }
  try {
    return YAML::Load(in);
  } catch (const YAML::Exception& e) {
    fail(path, fmt::format("line {}, column {}: {}", e.mark.line + 1, e.mark.column + 1, e.msg));
  }
}

std::string read_text(const std::string& config, const std::string& key, const std::string& path) {
  std::ifstream in(path);
  if (!in) {
    fail(config, fmt::format("{}: cannot read '{}'", key, path));
  }
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The file named under robot/<key>, resolved against the configuration's folder.
std::string resolve(const std::string& config, const YAML::Node& robot, const std::string& key) {
  const YAML::Node node = robot[key];
  if (!node || !node.IsScalar() || node.Scalar().empty()) {
    fail(config, fmt::format("robot/{}: expected a file name", key));
  }
  std::filesystem::path file(node.Scalar());
  if (file.is_relative()) {
    file = std::filesystem::path(config).parent_path() / file;
  }
  return file.lexically_normal().string();
}

// Joint name → id from "joints: {<device type>: [{name, id}, ...]}".
std::map<std::string, int> read_joint_ids(const std::string& config, const YAML::Node& joints) {
  std::map<std::string, int> ids;
  if (!joints || joints.IsNull()) {
    return ids;
  }
  if (!joints.IsMap()) {
    fail(config, "joints: expected a map from device type to a list of devices");
  }
  for (const auto& type : joints) {
    const std::string type_key = "joints/" + type.first.as<std::string>();
    if (!type.second.IsSequence()) {
      fail(config, fmt::format("{}: expected a list of devices", type_key));
    }
    for (std::size_t i = 0; i < type.second.size(); ++i) {
      const YAML::Node device = type.second[i];
      const std::string key = fmt::format("{}[{}]", type_key, i);
      if (!device.IsMap() || !device["name"] || !device["id"] || !device["name"].IsScalar() ||
          !device["id"].IsScalar()) {
        fail(config, fmt::format("{}: expected {{name: <joint>, id: <integer>}}", key));
      }
      int id = 0;
      if (!YAML::convert<int>::decode(device["id"], id)) {
        fail(config, fmt::format("{}/id: expected an integer, got '{}'", key, device["id"].Scalar()));
      }
      const std::string name = device["name"].Scalar();
      if (!ids.emplace(name, id).second) {
        fail(config, fmt::format("{}/name: joint '{}' is configured twice", key, name));
      }
    }
  }
  return ids;
}

}  // namespace

ConfigOptions ConfigOptions::FromConfigFile(const std::string& path) {
  const YAML::Node root = load_yaml(path);
  try {
    return from_yaml(path, root);
  } catch (const YAML::Exception& e) {
    fail(path, fmt::format("line {}, column {}: {}", e.mark.line + 1, e.mark.column + 1, e.msg));
  }
}

ConfigOptions ConfigOptions::from_yaml(const std::string& path, const YAML::Node& root) {
  if (!root.IsMap()) {
    fail(path, "expected a map at the top level");
  }
  const YAML::Node robot = root["robot"];
  if (!robot || !robot.IsMap()) {
    fail(path, "robot: expected a map with the keys 'urdf' and 'srdf'");
  }
  ConfigOptions options;
  options._path = path;
  options._urdf_path = resolve(path, robot, "urdf");
  options._urdf = read_text(path, "robot/urdf", options._urdf_path);
  if (robot["srdf"]) {
    options._srdf = read_text(path, "robot/srdf", resolve(path, robot, "srdf"));
  }
  options._joint_ids = read_joint_ids(path, root["joints"]);
  return options;
}

}  // namespace Orvo
