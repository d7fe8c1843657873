#pragma once
// The simulator API offered to model plug-ins.

#include "gazebo/common/common.hh"
#include "gazebo/physics/physics.hh"
#include "gazebo/sensors/sensors.hh"
