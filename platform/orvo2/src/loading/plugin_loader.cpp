#include "orvo2/loading/plugin_loader.h"

#include <exception>
#include <stdexcept>

#include <fmt/format.h>

#include "orvo2/loading/library_loader.h"

namespace Orvo {
namespace {

using VersionFn = void (*)(int*, int*, int*);
using CreateFn = ControlPlugin* (*)(const ControlPlugin::Args&);

// The name becomes part of a file name and of symbol names.
bool is_valid_plugin_name(const std::string& name) {
  if (name.empty()) {
    return false;
  }
  for (char c : name) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (!alnum && c != '_') {
      return false;
    }
  }
  return true;
}

ControlPlugin* create(const ControlPlugin::Args& args) {
  if (!is_valid_plugin_name(args.plugin_name)) {
    throw std::invalid_argument("invalid plug-in name: only letters, digits and '_' are allowed");
  }
  const SharedLibrary library("liborvoctrl_" + args.plugin_name + ".so");

  const std::string version_name = "orvo2_get_plugin_abi_version_" + args.plugin_name;
  int major = 0;
  int minor = 0;
  int patch = 0;
  library.function<VersionFn>(version_name)(&major, &minor, &patch);
  check_abi_version(library, version_name, major, minor, patch);

  const std::string create_name = "orvo2_create_plugin_" + args.plugin_name;
  const CreateFn create_plugin = library.function<CreateFn>(create_name);
  ControlPlugin* plugin = create_plugin(args);
  if (plugin == nullptr) {
    throw std::runtime_error(fmt::format("'{}' of library '{}' returned no plug-in", create_name, library.path()));
  }
  return plugin;
}

}  // namespace

std::unique_ptr<ControlPlugin> load_control_plugin(const ControlPlugin::Args& args) {
  try {
    return std::unique_ptr<ControlPlugin>(create(args));
  } catch (const std::exception& error) {
    throw std::runtime_error(fmt::format("unable to load plug-in '{}' for task '{}': {}", args.plugin_name,
                                         args.task_name, error.what()));
  }
}

}  // namespace Orvo
