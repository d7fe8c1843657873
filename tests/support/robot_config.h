#pragma once
// The configuration file that orvocore reads, built by a test or a benchmark
// from its robot files, devices, threads and tasks, and written with the
// robot files into a folder of the test's own.
//
//   OrvoTest::RobotConfig config = OrvoTest::chain_config("arm", 10);
//   config.device("joint_master", "all_joints", 100)
//       .thread(OrvoTest::WorkerThread("hal_thread", "1ms").fifo(60).devices({"joint_dummy", "joint_master"}));
//   const std::string path = config.write(dir);

#include <string>
#include <utility>
#include <vector>

#include "temp_dir.h"

namespace OrvoTest {

// A parameter as the configuration gives it: `name: {type: <type>, value: <value>}`,
// the value as YAML text.
struct ConfigParam {
  std::string name;
  std::string type;
  std::string value;
};

// The parameter's entry and its line end.
inline std::string param_yaml(const ConfigParam& param) {
  return param.name + ": {type: " + param.type + ", value: " + param.value + "}\n";
}

// One entry of the "threads" section: its period, its scheduling, the types
// of the devices it drives and its tasks, in the order given.
class WorkerThread {
public:
  WorkerThread(std::string name, std::string period) : _name(std::move(name)), _period(std::move(period)) {}

  // Policy SCHED_FIFO at `priority`.
  WorkerThread& fifo(int priority) {
    _priority = priority;
    return *this;
  }
  WorkerThread& devices(std::vector<std::string> types) {
    _devices = std::move(types);
    return *this;
  }
  WorkerThread& task(std::string name, std::string plugin, std::vector<ConfigParam> params = {}) {
    _tasks.push_back({std::move(name), std::move(plugin), std::move(params)});
    return *this;
  }

  std::string yaml() const {
    std::string text = "  " + _name + ":\n    period: " + _period + "\n";
    if (_priority >= 0) {
      text += "    policy: SCHED_FIFO\n    priority: " + std::to_string(_priority) + "\n";
    }
    if (!_devices.empty()) {
      text += "    devices: [";
      for (size_t i = 0; i < _devices.size(); ++i) {
        text += (i == 0 ? "" : ", ") + _devices[i];
      }
      text += "]\n";
    }
    if (!_tasks.empty()) {
      text += "    tasks:\n";
      for (const Task& task : _tasks) {
        text += "      " + task.name + ":\n        plugin: " + task.plugin + "\n";
        if (!task.params.empty()) {
          text += "        params:\n";
          for (const ConfigParam& param : task.params) {
            text += "          " + param_yaml(param);
          }
        }
      }
    }
    return text;
  }

private:
  struct Task {
    std::string name;
    std::string plugin;
    std::vector<ConfigParam> params;
  };

  std::string _name;
  std::string _period;
  int _priority = -1;
  std::vector<std::string> _devices;
  std::vector<Task> _tasks;
};

// A whole configuration: the sections robot, joints, devices, threads and
// parameters, each left out while empty, their entries in the order given.
class RobotConfig {
public:
  // robot/urdf and robot/srdf: `file`, written beside the configuration with `text`.
  RobotConfig& urdf(const std::string& file, const std::string& text) {
    _robot_files.push_back({"urdf", file, text});
    return *this;
  }
  RobotConfig& srdf(const std::string& file, const std::string& text) {
    _robot_files.push_back({"srdf", file, text});
    return *this;
  }

  // A device of the "joints" section and of the "devices" section.
  RobotConfig& joint(const std::string& type, const std::string& name, int id) {
    add(_joints, type, name, id);
    return *this;
  }
  RobotConfig& device(const std::string& type, const std::string& name, int id) {
    add(_devices, type, name, id);
    return *this;
  }

  RobotConfig& thread(const WorkerThread& thread) {
    _threads.push_back(thread);
    return *this;
  }
  RobotConfig& parameter(const ConfigParam& param) {
    _parameters.push_back(param);
    return *this;
  }

  std::string yaml() const {
    std::string text;
    if (!_robot_files.empty()) {
      text += "robot:\n";
      for (const RobotFile& file : _robot_files) {
        text += "  " + file.key + ": " + file.name + "\n";
      }
    }
    text += section("joints", _joints) + section("devices", _devices);
    if (!_threads.empty()) {
      text += "threads:\n";
      for (const WorkerThread& thread : _threads) {
        text += thread.yaml();
      }
    }
    if (!_parameters.empty()) {
      text += "parameters:\n";
      for (const ConfigParam& param : _parameters) {
        text += "  " + param_yaml(param);
      }
    }
    return text;
  }

  // Writes the robot files and "config.yaml" into `dir`, or into its folder
  // `folder` (made as needed); returns the configuration's path.
  std::string write(const TempDir& dir, const std::string& folder = "") const {
    const std::string prefix = folder.empty() ? "" : folder + "/";
    for (const RobotFile& file : _robot_files) {
      dir.write(prefix + file.name, file.text);
    }
    return dir.write(prefix + "config.yaml", yaml());
  }

private:
  struct RobotFile {
    std::string key;
    std::string name;
    std::string text;
  };
  struct Device {
    std::string name;
    int id;
  };
  // Device types in the order first given, each with its devices.
  using DeviceSection = std::vector<std::pair<std::string, std::vector<Device>>>;

  static void add(DeviceSection& section, const std::string& type, const std::string& name, int id) {
    for (auto& entry : section) {
      if (entry.first == type) {
        entry.second.push_back({name, id});
        return;
      }
    }
    section.push_back({type, {{name, id}}});
  }

  static std::string section(const std::string& key, const DeviceSection& section) {
    if (section.empty()) {
      return "";
    }
    std::string text = key + ":\n";
    for (const auto& entry : section) {
      text += "  " + entry.first + ":\n";
      for (const Device& device : entry.second) {
        text += "    - {name: " + device.name + ", id: " + std::to_string(device.id) + "}\n";
      }
    }
    return text;
  }

  std::vector<RobotFile> _robot_files;
  DeviceSection _joints;
  DeviceSection _devices;
  std::vector<WorkerThread> _threads;
  std::vector<ConfigParam> _parameters;
};

}  // namespace OrvoTest
