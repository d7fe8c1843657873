// Entry points of the simulated-joint device library.

#include "devices/device_library.h"
#include "joint_client.h"
#include "joint_driver_container.h"

using Orvo::Hal::DeviceContainer;
using Orvo::Hal::JointClient;
using Orvo::Hal::JointDriverContainer;

ORVO2_DEVICE_LIBRARY(joint_gz, DeviceContainer<JointClient>, JointDriverContainer)
