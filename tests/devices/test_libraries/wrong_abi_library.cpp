// A device library that reports an interface version this framework does not
// accept.
#include "devices/device_library.h"

ORVO2_DEVICE_LIBRARY_EXPORT void orvo2_get_dev_abi_version_test_wrong_abi(int& major, int& minor,
                                                                          int& patch) {
  major = 3;
  minor = 0;
  patch = 0;
}
