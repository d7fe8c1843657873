// Entry points of the dummy-joint device library.

#include "devices/device_library.h"
#include "framework/typed/device_container.h"
#include "joint_dummy.h"
#include "orvo2/devices/joint_api.h"

using Orvo::Hal::DeviceContainer;
using Orvo::Hal::JointApi;
using Orvo::Hal::JointDummy;

ORVO2_DEVICE_LIBRARY(joint_dummy, DeviceContainer<JointApi>, DeviceContainer<JointDummy>)
