#pragma once
// Everything of the simulator's sensors part.

#include "gazebo/sensors/ForceTorqueSensor.hh"
#include "gazebo/sensors/ImuSensor.hh"
#include "gazebo/sensors/Sensor.hh"
#include "gazebo/sensors/SensorManager.hh"
#include "gazebo/sensors/SensorTypes.hh"
