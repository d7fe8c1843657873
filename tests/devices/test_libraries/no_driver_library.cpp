// A device library that lacks its driver-side factory.
#include "devices/device_library.h"
#include "framework/typed/device_container.h"
#include "orvo2/devices/joint_api.h"

ORVO2_DEVICE_LIBRARY_EXPORT void orvo2_get_dev_abi_version_test_no_driver(int& major, int& minor,
                                                                          int& patch) {
  major = 2;
  minor = 0;
  patch = 0;
}

ORVO2_DEVICE_LIBRARY_EXPORT Orvo::Hal::DeviceContainerBase* orvo2_create_dev_cli_test_no_driver(
    std::vector<Orvo::Hal::DeviceInfo> infos) {
  return new Orvo::Hal::DeviceContainer<Orvo::Hal::JointApi>(std::move(infos));
}
