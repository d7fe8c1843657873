// Has the version entry point but no create function.
#include "orvo2/loading/library_loader.h"

extern "C" __attribute__((visibility("default"))) void orvo2_get_plugin_abi_version_test_no_create(int* major,
                                                                                                   int* minor,
                                                                                                   int* patch) {
  *major = Orvo::abi_major;
  *minor = Orvo::abi_minor;
  *patch = Orvo::abi_patch;
}
