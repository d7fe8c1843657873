#pragma once
// Builds a simulated world from an SDFormat description: a world file (its first
// world) or a file holding one model. Links take their inertial mass and
// inertia; revolute, continuous, prismatic and fixed joints their axis, limits,
// damping and friction; imu sensors on links and force_torque sensors on joints
// become sensors of the sensor manager. Every model keeps its description
// element, plugin elements included.

#include <string>

#include <gazebo/physics/PhysicsTypes.hh>

namespace Orvo {

// Set-up thread; allocates. Throws std::runtime_error naming the file (and the
// element) for an unreadable file, SDFormat errors or what cannot be simulated.
gazebo::physics::WorldPtr load_sim_world(const std::string& path);

// As load_sim_world, from text; origin names the text in errors.
gazebo::physics::WorldPtr load_sim_world_from_string(const std::string& sdf_text,
                                                     const std::string& origin);

}  // namespace Orvo
