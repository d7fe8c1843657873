#pragma once
// The two entry points of a control-plug-in library, exported unmangled:
//
//   ORVO2_CONTROL_PLUGIN(ros_io, Orvo::RosIO)
//
// defines orvo2_get_plugin_abi_version_ros_io (writes 2, 0, 0) and
// orvo2_create_plugin_ros_io, which returns `new Orvo::RosIO(args)` as its
// ControlPlugin base; the caller owns it and deletes it through the virtual
// destructor. Whatever the constructor throws leaves the create function.

#include "orvo2/loading/library_loader.h"
#include "orvo2/tasks/control_plugin.h"

#define ORVO2_CONTROL_PLUGIN_EXPORT extern "C" __attribute__((visibility("default")))

#define ORVO2_CONTROL_PLUGIN(name, PluginClass)                                                   \
  ORVO2_CONTROL_PLUGIN_EXPORT void orvo2_get_plugin_abi_version_##name(int* major, int* minor,    \
                                                                       int* patch) {              \
    *major = ::Orvo::abi_major;                                                                   \
    *minor = ::Orvo::abi_minor;                                                                   \
    *patch = ::Orvo::abi_patch;                                                                   \
  }                                                                                               \
  ORVO2_CONTROL_PLUGIN_EXPORT ::Orvo::ControlPlugin* orvo2_create_plugin_##name(                  \
      const ::Orvo::ControlPlugin::Args& args) {                                                  \
    return new PluginClass(args);                                                                 \
  }
