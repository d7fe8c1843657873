// Reports interface version 1.4.0: the loader must refuse it.
#include "orvo2/tasks/control_plugin.h"

extern "C" __attribute__((visibility("default"))) void orvo2_get_plugin_abi_version_test_wrong_abi(int* major,
                                                                                                   int* minor,
                                                                                                   int* patch) {
  *major = 1;
  *minor = 4;
  *patch = 0;
}

extern "C" __attribute__((visibility("default"))) Orvo::ControlPlugin* orvo2_create_plugin_test_wrong_abi(
    const Orvo::ControlPlugin::Args&) {
  return nullptr;
}
