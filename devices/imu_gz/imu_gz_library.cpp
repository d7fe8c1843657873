// Entry points of the IMU device library.

#include "devices/device_library.h"
#include "framework/typed/device_container.h"
#include "imu_client.h"
#include "imu_driver_container.h"

using Orvo::Hal::DeviceContainer;
using Orvo::Hal::ImuClient;
using Orvo::Hal::ImuDriverContainer;

ORVO2_DEVICE_LIBRARY(imu_gz, DeviceContainer<ImuClient>, ImuDriverContainer)
