#include "orvo_interface/robot_interface.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <stdexcept>

#include <fmt/format.h>
#include <fmt/ranges.h>

#include "orvo_interface/config_options.h"

namespace Orvo {
namespace {

using CreateFn = RobotInterface* (*)();
using DestroyFn = void (*)(RobotInterface*);

struct Registry {
  std::mutex lock;
  // Configuration path → every robot made from it.
  std::multimap<std::string, RobotInterface::Ptr> robots;
  // Path → handle of every back-end library loaded; never closed, since a
  // robot may outlive the registry's reference to it.
  std::map<std::string, void*> libraries;
};

Registry& registry() {
  static auto* instance = new Registry;
  return *instance;
}

// The folder this library was loaded from (none when unknown): the build's
// library folder for a program run from the build tree, the prefix's for an
// installed one.
std::string own_folder() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&own_folder), &info) == 0 || info.dli_fname == nullptr) {
    return std::string();
  }
  const std::string path = info.dli_fname;
  const std::string::size_type slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

// ORVO2_PLUGIN_PATH (colon separated), then this library's own folder.
std::vector<std::string> search_path() {
  std::vector<std::string> folders;
  if (const char* env = std::getenv("ORVO2_PLUGIN_PATH")) {
    std::string current;
    for (const char* p = env;; ++p) {
      if (*p == ':' || *p == '\0') {
        if (!current.empty()) {
          folders.push_back(current);
        }
        current.clear();
        if (*p == '\0') {
          break;
        }
      } else {
        current += *p;
      }
    }
  }
  const std::string folder = own_folder();
  if (!folder.empty()) {
    folders.push_back(folder);
  }
  return folders;
}

// Loads `file_name` from the first folder of the search path that has it.
std::pair<void*, std::string> load_library(const std::string& file_name) {
  const std::vector<std::string> folders = search_path();
  for (const std::string& folder : folders) {
    const std::string candidate = folder + "/" + file_name;
    if (::access(candidate.c_str(), R_OK) != 0) {
      continue;
    }
    Registry& reg = registry();
    std::lock_guard<std::mutex> guard(reg.lock);
    auto it = reg.libraries.find(candidate);
    if (it == reg.libraries.end()) {
      void* handle = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (handle == nullptr) {
        const char* error = ::dlerror();
        throw std::runtime_error(fmt::format("unable to load robot back end '{}': {}", candidate,
                                             error ? error : "unknown error"));
      }
      it = reg.libraries.emplace(candidate, handle).first;
    }
    return {it->second, candidate};
  }
  throw std::runtime_error(fmt::format(
      "unable to find robot back end '{}' in [{}] (set ORVO2_PLUGIN_PATH)", file_name,
      fmt::join(folders, ", ")));
}

void* entry_point(void* handle, const std::string& path, const char* name) {
  ::dlerror();
  void* address = ::dlsym(handle, name);
  if (address == nullptr) {
    throw std::runtime_error(fmt::format("robot back end '{}' has no entry point '{}'", path, name));
  }
  return address;
}

}  // namespace

RobotInterface::Ptr RobotInterface::MakeInstance(const ConfigOptions& options) {
  std::string framework;
  if (!options.get_parameter("framework", framework) || framework.empty()) {
    throw std::runtime_error(fmt::format(
        "configuration '{}' has no string parameter 'framework' naming the robot back end",
        options.get_path()));
  }
  const auto library = load_library("libRobotInterface" + framework + ".so");
  const auto create = reinterpret_cast<CreateFn>(entry_point(library.first, library.second, "create_instance"));
  const auto destroy =
      reinterpret_cast<DestroyFn>(entry_point(library.first, library.second, "destroy_instance"));

  RobotInterface* raw = create();
  if (raw == nullptr) {
    throw std::runtime_error(
        fmt::format("robot back end '{}': create_instance returned no object", library.second));
  }
  Ptr robot(raw, destroy);
  if (!robot->init(options)) {
    throw std::runtime_error(fmt::format("robot back end '{}' failed to initialise from '{}'",
                                         library.second, options.get_path()));
  }
  Registry& reg = registry();
  std::lock_guard<std::mutex> guard(reg.lock);
  reg.robots.emplace(options.get_path(), robot);
  return robot;
}

void RobotInterface::clearRobotMap() {
  std::multimap<std::string, Ptr> dropped;
  {
    Registry& reg = registry();
    std::lock_guard<std::mutex> guard(reg.lock);
    dropped.swap(reg.robots);
  }
  // The robots held only by the registry are destroyed here, outside the lock.
}

bool RobotInterface::init(const ConfigOptions& options) {
  if (!OrvoInterface::init(options)) {
    return false;
  }
  _modes.assign(getJointNames().size(), ControlMode::Idle());
  return init_robot(options);
}

bool RobotInterface::setControlMode(const ControlMode& mode) {
  for (ControlMode& joint_mode : _modes) {
    joint_mode = mode;
  }
  return true;
}

bool RobotInterface::setControlMode(const std::string& joint_name, const ControlMode& mode) {
  const int index = jointIndex(joint_name);
  if (index < 0) {
    return false;
  }
  _modes[index] = mode;
  return true;
}

bool RobotInterface::getControlMode(const std::string& joint_name, ControlMode& mode) const {
  const int index = jointIndex(joint_name);
  if (index < 0) {
    return false;
  }
  mode = _modes[index];
  return true;
}

}  // namespace Orvo
