#pragma once
// The three entry points of a device library, exported unmangled and alone
// (libraries are built with hidden visibility):
//
//   ORVO2_DEVICE_LIBRARY(joint_dummy, DeviceContainer<JointApi>, DeviceContainer<JointDummy>)
//
// defines orvo2_get_dev_abi_version_joint_dummy (writes 2, 0, 0) and the
// factories orvo2_create_dev_cli_joint_dummy / orvo2_create_dev_dri_joint_dummy,
// which build the named container from the list; the caller owns it and
// whatever a constructor throws leaves the factory.

#include <utility>
#include <vector>

#include "framework/primitives/device_info.h"
#include "orvo2/devices/device_container_base.h"
#include "orvo2/loading/library_loader.h"

#define ORVO2_DEVICE_LIBRARY_EXPORT extern "C" __attribute__((visibility("default")))

#define ORVO2_DEVICE_LIBRARY(type, ClientContainer, DriverContainer)                           \
  ORVO2_DEVICE_LIBRARY_EXPORT void orvo2_get_dev_abi_version_##type(int& major, int& minor,    \
                                                                    int& patch) {              \
    major = ::Orvo::abi_major;                                                                 \
    minor = ::Orvo::abi_minor;                                                                 \
    patch = ::Orvo::abi_patch;                                                                 \
  }                                                                                            \
  ORVO2_DEVICE_LIBRARY_EXPORT ::Orvo::Hal::DeviceContainerBase* orvo2_create_dev_cli_##type(   \
      std::vector<::Orvo::Hal::DeviceInfo> infos) {                                            \
    return new ClientContainer(std::move(infos));                                              \
  }                                                                                            \
  ORVO2_DEVICE_LIBRARY_EXPORT ::Orvo::Hal::DeviceContainerBase* orvo2_create_dev_dri_##type(   \
      std::vector<::Orvo::Hal::DeviceInfo> infos) {                                            \
    return new DriverContainer(std::move(infos));                                              \
  }
