// Entry points of the link-state sensor device library.

#include "devices/device_library.h"
#include "framework/typed/device_container.h"
#include "link_state_sensor_client.h"
#include "link_state_sensor_driver.h"

using Orvo::Hal::DeviceContainer;
using Orvo::Hal::LinkStateSensorClient;
using Orvo::Hal::LinkStateSensorDriverContainer;

ORVO2_DEVICE_LIBRARY(link_state_sensor, DeviceContainer<LinkStateSensorClient>,
                     LinkStateSensorDriverContainer)
