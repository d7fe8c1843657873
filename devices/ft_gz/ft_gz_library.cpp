// Entry points of the force-torque device library.

#include "devices/device_library.h"
#include "framework/typed/device_container.h"
#include "ft_client.h"
#include "ft_driver_container.h"

using Orvo::Hal::DeviceContainer;
using Orvo::Hal::FtClient;
using Orvo::Hal::FtDriverContainer;

ORVO2_DEVICE_LIBRARY(ft_gz, DeviceContainer<FtClient>, FtDriverContainer)
