#pragma once
// Everything of the simulator's physics part.

#include "gazebo/physics/Base.hh"
#include "gazebo/physics/Entity.hh"
#include "gazebo/physics/Joint.hh"
#include "gazebo/physics/Link.hh"
#include "gazebo/physics/Model.hh"
#include "gazebo/physics/PhysicsTypes.hh"
#include "gazebo/physics/World.hh"
