#pragma once
// Everything of the simulator's common part.

#include "gazebo/common/Console.hh"
#include "gazebo/common/Event.hh"
#include "gazebo/common/Events.hh"
#include "gazebo/common/Plugin.hh"
#include "gazebo/common/Time.hh"
#include "gazebo/common/UpdateInfo.hh"
