#include "orvo_interface/config_options.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
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

// A robot description is read up to this size: a path that names a device
// or some other large file fails at once instead of being read without end.
constexpr std::size_t kMaxRobotFileBytes = std::size_t(16) << 20;
// Elements nested deeper than this are refused before an XML parser sees
// them (the parsers recurse once per level); a robot description nests a
// handful.
constexpr int kMaxXmlDepth = 256;

// Whether no element of `xml` lies more than `limit` levels deep. Comments,
// CDATA, declarations and quoted attribute values are skipped; a closing tag
// never takes the depth below 0.
bool nesting_within(const std::string& xml, int limit) {
  const auto skip_to = [&xml](std::size_t from, const char* end) {
    const std::size_t at = xml.find(end, from);
    return at == std::string::npos ? at : at + std::strlen(end);
  };
  int depth = 0;
  std::size_t i = 0;
  while (i < xml.size() && (i = xml.find('<', i)) != std::string::npos) {
    if (xml.compare(i, 4, "<!--") == 0) {
      i = skip_to(i + 4, "-->");
    } else if (xml.compare(i, 9, "<![CDATA[") == 0) {
      i = skip_to(i + 9, "]]>");
    } else if (xml.compare(i, 2, "<?") == 0 || xml.compare(i, 2, "<!") == 0) {
      i = skip_to(i + 2, ">");
    } else if (xml.compare(i, 2, "</") == 0) {
      depth = depth > 0 ? depth - 1 : 0;
      i = skip_to(i + 2, ">");
    } else {
      std::size_t j = i + 1;
      for (char quote = 0; j < xml.size() && (quote != 0 || xml[j] != '>'); ++j) {
        if (quote != 0 ? xml[j] == quote : (xml[j] == '"' || xml[j] == '\'')) {
          quote = quote != 0 ? 0 : xml[j];
        }
      }
      if (j < xml.size() && xml[j - 1] != '/' && ++depth > limit) {
        return false;
      }
      i = j + 1;
    }
  }
  return true;
}

std::string read_text(const std::string& config, const std::string& key, const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    fail(config, fmt::format("{}: cannot read '{}'", key, path));
  }
  const auto too_large = [&] {
    fail(config, fmt::format("{}: '{}' is larger than {} bytes: not a robot description", key, path,
                             kMaxRobotFileBytes));
  };
  // A file's size is known; a device or a pipe is read up to the bound, into
  // memory taken once (only what is read is touched).
  std::error_code unknown;
  const bool regular = std::filesystem::is_regular_file(path, unknown);
  const std::uintmax_t size = regular ? std::filesystem::file_size(path, unknown) : 0;
  if (regular && !unknown && size > kMaxRobotFileBytes) {
    too_large();
  }
  char chunk[1 << 16];
  std::string text;
  text.reserve(regular && !unknown ? static_cast<std::size_t>(size) : kMaxRobotFileBytes + sizeof(chunk));
  while (in.read(chunk, sizeof(chunk)) || in.gcount() > 0) {
    text.append(chunk, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxRobotFileBytes) {
      too_large();
    }
  }
  text.shrink_to_fit();
  if (!nesting_within(text, kMaxXmlDepth)) {
    fail(config, fmt::format("{}: '{}' nests elements more than {} levels deep: refused before "
                             "parsing",
                             key, path, kMaxXmlDepth));
  }
  return text;
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
