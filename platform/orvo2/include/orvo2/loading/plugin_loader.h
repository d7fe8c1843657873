#pragma once
// Loading of control plug-ins by name, at set-up only: liborvoctrl_<name>.so
// is found on the library search path (see SharedLibrary), its interface
// version is checked with orvo2_get_plugin_abi_version_<name> and the plug-in
// is made with orvo2_create_plugin_<name>.

#include <memory>

#include "orvo2/tasks/control_plugin.h"

namespace Orvo {

// Set-up only; allocates, loads a library. Throws std::runtime_error naming
// the task, the plug-in and the library (with the folders searched when it is
// missing) for a bad plug-in name, a missing library or entry point, an
// interface version other than 2.x or a null plug-in; passes on with the same
// names what the plug-in's constructor throws.
std::unique_ptr<ControlPlugin> load_control_plugin(const ControlPlugin::Args& args);

}  // namespace Orvo
