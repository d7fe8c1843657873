// Entry points of the joint master device library.

#include "devices/device_library.h"
#include "dummy_api.h"
#include "framework/typed/device_container.h"
#include "joint_master_container.h"

using Orvo::Hal::DeviceContainer;
using Orvo::Hal::DummyApi;
using Orvo::Hal::JointMasterContainer;

ORVO2_DEVICE_LIBRARY(joint_master, DeviceContainer<DummyApi>, JointMasterContainer)
