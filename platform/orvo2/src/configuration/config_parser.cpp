#include "orvo2/configuration/config_parser.h"

#include <sched.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <set>
#include <stdexcept>

#include <fmt/format.h>
#include <yaml-cpp/yaml.h>

#include "orvo_interface/orvo_interface.h"

namespace Orvo {
namespace {

// Checks the nodes of one configuration file and reads typed values from
// them; every failure names the file and the key path.
class Reader {
public:
  explicit Reader(std::string file) : _file(std::move(file)) {}

  [[noreturn]] void fail(const std::string& key, const std::string& what) const {
    const std::string where = key.empty() ? what : key + ": " + what;
    throw std::runtime_error(_file.empty() ? where : _file + ": " + where);
  }

  // A map whose keys are unique strings from `allowed` (any key when empty).
  void expect_map(const YAML::Node& node, const std::string& key,
                  const std::set<std::string>& allowed = {}) const {
    if (!node || !node.IsMap()) {
      fail(key, "expected a map");
    }
    std::set<std::string> seen;
    for (const auto& entry : node) {
      if (!entry.first.IsScalar()) {
        fail(key, "expected text keys");
      }
      const std::string& name = entry.first.Scalar();
      if (!allowed.empty() && allowed.count(name) == 0) {
        fail(join(key, name), "unknown key");
      }
      if (!seen.insert(name).second) {
        fail(join(key, name), "duplicate key");
      }
    }
  }

  std::string text(const YAML::Node& node, const std::string& key) const {
    if (!node || !node.IsScalar()) {
      fail(key, "expected text");
    }
    return node.Scalar();
  }

  // Names of threads, tasks, plug-ins and device types: letters, digits, '_'.
  std::string identifier(const YAML::Node& node, const std::string& key) const {
    const std::string name = text(node, key);
    check_identifier(name, key);
    return name;
  }

  void check_identifier(const std::string& name, const std::string& key) const {
    if (name.empty() || name.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                               "0123456789_") != std::string::npos) {
      fail(key, fmt::format("'{}' is not a valid name (letters, digits and '_' only)", name));
    }
  }

  int integer(const YAML::Node& node, const std::string& key) const {
    int value = 0;
    if (!node || !node.IsScalar() || !YAML::convert<int>::decode(node, value)) {
      fail(key, fmt::format("expected an integer, got '{}'", node && node.IsScalar() ? node.Scalar() : "?"));
    }
    return value;
  }

  double real(const YAML::Node& node, const std::string& key) const {
    double value = 0;
    if (!node || !node.IsScalar() || !YAML::convert<double>::decode(node, value)) {
      fail(key, fmt::format("expected a number, got '{}'", node && node.IsScalar() ? node.Scalar() : "?"));
    }
    return value;
  }

  bool boolean(const YAML::Node& node, const std::string& key) const {
    bool value = false;
    if (!node || !node.IsScalar() || !YAML::convert<bool>::decode(node, value)) {
      fail(key, fmt::format("expected true or false, got '{}'", node && node.IsScalar() ? node.Scalar() : "?"));
    }
    return value;
  }

  // "<number><unit>" with the unit ns, us, ms or s, e.g. "1ms", "0.5s".
  std::chrono::nanoseconds duration(const YAML::Node& node, const std::string& key) const {
    const char* expected = "expected a duration like '1ms'";
    if (!node || !node.IsScalar()) {
      fail(key, expected);
    }
    const std::string& text = node.Scalar();
    const std::size_t unit_at = text.find_first_not_of("0123456789.");
    if (unit_at == 0 || unit_at == std::string::npos) {
      fail(key, fmt::format("{}, got '{}'", expected, text));
    }
    const std::string number = text.substr(0, unit_at);
    const std::string unit = text.substr(unit_at);
    double scale = 0;
    if (unit == "ns") {
      scale = 1;
    } else if (unit == "us") {
      scale = 1e3;
    } else if (unit == "ms") {
      scale = 1e6;
    } else if (unit == "s") {
      scale = 1e9;
    } else {
      fail(key, fmt::format("{}, got '{}'", expected, text));
    }
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(number.c_str(), &end);
    const double ns = value * scale;
    if (errno != 0 || *end != '\0' || !std::isfinite(ns) || ns > 9.2e18 ||
        ns != std::floor(ns)) {
      fail(key, fmt::format("{}, got '{}'", expected, text));
    }
    return std::chrono::nanoseconds(static_cast<long long>(ns));
  }

  // {type: <string|double|int|bool|nanoseconds|string_list>, value: ...}
  ConfigValue typed_value(const YAML::Node& node, const std::string& key) const {
    if (!node || !node.IsMap() || !node["type"] || !node["value"]) {
      fail(key, "expected {type: <type>, value: <value>}");
    }
    expect_map(node, key, {"type", "value"});
    const std::string type = text(node["type"], join(key, "type"));
    const YAML::Node value = node["value"];
    const std::string value_key = join(key, "value");
    if (type == "string") {
      return text(value, value_key);
    }
    if (type == "double") {
      return real(value, value_key);
    }
    if (type == "int") {
      return integer(value, value_key);
    }
    if (type == "bool") {
      return boolean(value, value_key);
    }
    if (type == "nanoseconds") {
      // Every duration the system takes is a period or a time-out.
      const std::chrono::nanoseconds ns = duration(value, value_key);
      if (ns.count() <= 0) {
        fail(value_key, fmt::format("expected a duration like '1ms', greater than zero, got '{}'",
                                    value.Scalar()));
      }
      return ns;
    }
    if (type == "string_list") {
      if (!value.IsSequence()) {
        fail(value_key, "expected a list of texts");
      }
      std::vector<std::string> list;
      for (std::size_t i = 0; i < value.size(); ++i) {
        list.push_back(text(value[i], fmt::format("{}[{}]", value_key, i)));
      }
      return list;
    }
    fail(join(key, "type"),
         fmt::format("unknown type '{}' (string, double, int, bool, nanoseconds, string_list)", type));
  }

  ConfigValueMap typed_values(const YAML::Node& node, const std::string& key) const {
    ConfigValueMap values;
    if (!node || node.IsNull()) {
      return values;
    }
    expect_map(node, key);
    for (const auto& entry : node) {
      const std::string name = entry.first.Scalar();
      if (name.empty()) {
        fail(key, "empty parameter name");
      }
      values.emplace(name, typed_value(entry.second, join(key, name)));
    }
    return values;
  }

  static std::string join(const std::string& key, const std::string& child) {
    return key.empty() ? child : key + "/" + child;
  }

private:
  std::string _file;
};

int policy_of(const Reader& reader, const YAML::Node& node, const std::string& key) {
  const std::string name = reader.text(node, key);
  if (name == "SCHED_OTHER") {
    return SCHED_OTHER;
  }
  if (name == "SCHED_FIFO") {
    return SCHED_FIFO;
  }
  if (name == "SCHED_RR") {
    return SCHED_RR;
  }
  reader.fail(key, fmt::format("expected SCHED_OTHER, SCHED_FIFO or SCHED_RR, got '{}'", name));
}

// Set-up; allocates. Entry `key` {name, id} of the list of device type `type`,
// checked against the model (a joint) and the devices `hw` holds already.
// Throws std::runtime_error naming the file and the key path.
Hal::DeviceInfo read_device(const Reader& reader, const YAML::Node& device, const std::string& key,
                            const std::string& type, bool joint, const OrvoInterface& model,
                            const Hal::HardwareDescription& hw) {
  if (!device.IsMap() || !device["name"] || !device["id"]) {
    reader.fail(key, "expected {name: <name>, id: <integer>}");
  }
  reader.expect_map(device, key, {"name", "id"});
  Hal::DeviceInfo info;
  info.type = type;
  info.name = reader.text(device["name"], key + "/name");
  info.id = reader.integer(device["id"], key + "/id");
  if (info.name.empty()) {
    reader.fail(key + "/name", "empty device name");
  }
  if (joint && !model.hasJoint(info.name)) {
    reader.fail(key + "/name", fmt::format("'{}' is not a movable joint of the URDF", info.name));
  }
  if (joint && info.id < 0) {
    reader.fail(key + "/id", fmt::format("joint ids are not negative, got {}", info.id));
  }
  const auto by_name = hw.by_name.find(info.name);
  if (by_name != hw.by_name.end()) {
    reader.fail(key + "/name", fmt::format("device name '{}' is used twice (also type '{}')",
                                           info.name, by_name->second.type));
  }
  const auto by_id = hw.by_id.find(info.id);
  if (by_id != hw.by_id.end()) {
    reader.fail(key + "/id", fmt::format("device id {} is used twice (also '{}')", info.id,
                                         by_id->second.name));
  }
  return info;
}

// Set-up; allocates. The devices of one section ("joints" or "devices"), each
// type's list in file order, into `hw`. Throws std::runtime_error naming the
// file and the key path.
void read_devices(const Reader& reader, const YAML::Node& types, const std::string& section,
                  const OrvoInterface& model, Hal::HardwareDescription& hw) {
  const bool joints = section == "joints";
  reader.expect_map(types, section);
  for (const auto& type_entry : types) {
    const std::string type = type_entry.first.Scalar();
    const std::string type_key = Reader::join(section, type);
    reader.check_identifier(type, type_key);
    if (hw.types.count(type) != 0) {
      reader.fail(type_key, fmt::format("device type '{}' is listed twice", type));
    }
    if (!type_entry.second.IsSequence()) {
      reader.fail(type_key, "expected a list of {name, id}");
    }
    hw.types.insert(type);
    std::vector<Hal::DeviceInfo>& list = hw.by_type[type];
    for (std::size_t i = 0; i < type_entry.second.size(); ++i) {
      const std::string key = fmt::format("{}[{}]", type_key, i);
      const Hal::DeviceInfo info = read_device(reader, type_entry.second[i], key, type, joints, model, hw);
      hw.by_name.emplace(info.name, info);
      hw.by_id.emplace(info.id, info);
      list.push_back(info);
    }
  }
}

// Set-up; allocates. The period, policy and priority of the thread at `key`.
// Throws std::runtime_error naming the file and the key path.
SchedArgs read_sched(const Reader& reader, const YAML::Node& node, const std::string& key) {
  SchedArgs sched;
  if (!node["period"]) {
    reader.fail(key + "/period", "missing (expected a duration like '1ms')");
  }
  sched.period = reader.duration(node["period"], key + "/period");
  if (sched.period.count() <= 0) {
    reader.fail(key + "/period", "expected a duration like '1ms', greater than zero");
  }
  sched.policy = node["policy"] ? policy_of(reader, node["policy"], key + "/policy") : SCHED_OTHER;
  if (sched.policy == SCHED_OTHER) {
    if (node["priority"] && reader.integer(node["priority"], key + "/priority") != 0) {
      reader.fail(key + "/priority", "SCHED_OTHER takes the priority 0");
    }
  } else {
    if (!node["priority"]) {
      reader.fail(key + "/priority", "missing (expected 1 to 99 for a real-time policy)");
    }
    sched.priority = reader.integer(node["priority"], key + "/priority");
    if (sched.priority < 1 || sched.priority > 99) {
      reader.fail(key + "/priority",
                  fmt::format("expected 1 to 99 for a real-time policy, got {}", sched.priority));
    }
  }
  return sched;
}

// Set-up; allocates. The device types thread `thread` (at `key`) drives, each
// recorded in `driver_of_type`, which holds the types other threads drive.
// Throws std::runtime_error naming the file and the key path.
HalArgs read_driven_types(const Reader& reader, const YAML::Node& node, const std::string& key,
                          const std::string& thread, const Hal::HardwareDescription& hw,
                          std::map<std::string, std::string>& driver_of_type) {
  HalArgs hal;
  if (!node["devices"] || node["devices"].IsNull()) {
    return hal;
  }
  const YAML::Node devices = node["devices"];
  if (!devices.IsSequence()) {
    reader.fail(key + "/devices", "expected a list of device types");
  }
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const std::string device_key = fmt::format("{}/devices[{}]", key, i);
    const std::string type = reader.text(devices[i], device_key);
    if (hw.types.count(type) == 0) {
      reader.fail(device_key, fmt::format("unknown device type '{}'", type));
    }
    const auto driver = driver_of_type.emplace(type, thread);
    if (!driver.second) {
      reader.fail(device_key, fmt::format("device type '{}' is already driven by thread '{}'",
                                          type, driver.first->second));
    }
    hal.device_types.push_back(type);
  }
  return hal;
}

// Set-up; allocates. The tasks of the thread at `key`, in file order, each
// name recorded in `task_names`, which holds those of the other threads.
// Throws std::runtime_error naming the file and the key path.
TaskArgs read_tasks(const Reader& reader, const YAML::Node& node, const std::string& key,
                    std::set<std::string>& task_names) {
  TaskArgs args;
  if (!node["tasks"] || node["tasks"].IsNull()) {
    return args;
  }
  const YAML::Node tasks = node["tasks"];
  reader.expect_map(tasks, key + "/tasks");
  for (const auto& task_entry : tasks) {
    TaskArgs::Task task;
    task.name = task_entry.first.Scalar();
    const std::string task_key = key + "/tasks/" + task.name;
    reader.check_identifier(task.name, task_key);
    if (!std::isalpha(static_cast<unsigned char>(task.name.front()))) {
      reader.fail(task_key, fmt::format("task name '{}' does not start with a letter (ROS names the "
                                        "task's services after it and refuses such a name)",
                                        task.name));
    }
    if (!task_names.insert(task.name).second) {
      reader.fail(task_key, fmt::format("task '{}' is configured twice", task.name));
    }
    reader.expect_map(task_entry.second, task_key, {"plugin", "params"});
    if (!task_entry.second["plugin"]) {
      reader.fail(task_key + "/plugin", "missing (the plug-in to load)");
    }
    task.plugin = reader.identifier(task_entry.second["plugin"], task_key + "/plugin");
    task.params = reader.typed_values(task_entry.second["params"], task_key + "/params");
    args.tasks.push_back(std::move(task));
  }
  return args;
}

}  // namespace

ConfigParser::ConfigParser(const YAML::Node& root, const OrvoInterface& model) {
  const Reader reader(model.getConfigPath());
  try {
    reader.expect_map(root, "", {"robot", "joints", "devices", "threads", "parameters"});
    if (root["robot"]) {
      reader.expect_map(root["robot"], "robot", {"urdf", "srdf"});
    }

    // Devices: joint devices first, then the others, each by type in file order.
    for (const char* section : {"joints", "devices"}) {
      const YAML::Node types = root[section];
      if (types && !types.IsNull()) {
        read_devices(reader, types, section, model, _hw);
      }
    }

    // Threads, in file order.
    std::map<std::string, std::string> driver_of_type;
    std::set<std::string> task_names;
    const YAML::Node threads = root["threads"];
    if (threads && !threads.IsNull()) {
      reader.expect_map(threads, "threads");
      for (const auto& thread_entry : threads) {
        const std::string name = thread_entry.first.Scalar();
        const std::string key = Reader::join("threads", name);
        reader.check_identifier(name, key);
        const YAML::Node node = thread_entry.second;
        reader.expect_map(node, key, {"period", "policy", "priority", "devices", "tasks"});
        // A braced list is evaluated in order: scheduling, devices, then tasks
        // are checked, and the first fault is the one reported.
        Thread thread{read_sched(reader, node, key),
                      read_driven_types(reader, node, key, name, _hw, driver_of_type),
                      read_tasks(reader, node, key, task_names)};
        _thread_names.push_back(name);
        _threads.emplace(name, std::move(thread));
      }
    }

    _parameters = reader.typed_values(root["parameters"], "parameters");
  } catch (const YAML::Exception& e) {
    reader.fail("", fmt::format("line {}, column {}: {}", e.mark.line + 1, e.mark.column + 1, e.msg));
  }
}

const ConfigParser::Thread& ConfigParser::thread(const std::string& name) const {
  const auto it = _threads.find(name);
  if (it == _threads.end()) {
    throw std::out_of_range("configuration has no thread '" + name + "'");
  }
  return it->second;
}

SchedArgs ConfigParser::getThreadSchedArgs(const std::string& name) const { return thread(name).sched; }

TaskArgs ConfigParser::getThreadTaskArgs(const std::string& name) const { return thread(name).tasks; }

HalArgs ConfigParser::getThreadHalArgs(const std::string& name) const { return thread(name).hal; }

}  // namespace Orvo
