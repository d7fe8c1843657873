#pragma once
// The simulated world: its models and sensors, gravity, the fixed step and the
// simulated time. One step: the worldUpdateBegin event, joint dynamics, link
// kinematics, sensor readings, then the time advances by the step.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <ignition/math/Vector3.hh>
#include <sdf/Element.hh>

#include "gazebo/common/UpdateInfo.hh"
#include "gazebo/physics/PhysicsTypes.hh"

namespace gazebo {
namespace sensors {
class Sensor;
}
namespace physics {

class World {
public:
  // step_size in seconds (> 0).
  World(const std::string& name, const ignition::math::Vector3d& gravity, double step_size);
  World(const World&) = delete;
  World& operator=(const World&) = delete;
  // Set-up thread; removes the world's sensors from the sensor manager.
  ~World();

  // Any thread.
  std::string Name() const { return update_info_.worldName; }
  ignition::math::Vector3d Gravity() const { return gravity_; }
  double StepSize() const { return step_ns_ * 1e-9; }
  // Set-up; the step in seconds, rounded to whole nanoseconds; throws std::invalid_argument unless > 0.
  void SetStepSize(double seconds);
  // World thread; simulated time and number of steps done.
  common::Time SimTime() const { return common::Time::FromNanoseconds(sim_time_ns_); }
  int64_t SimTimeNanoseconds() const { return sim_time_ns_; }
  uint64_t Iterations() const { return iterations_; }

  // Any thread; models in description order.
  const Model_V& Models() const { return models_; }
  unsigned int ModelCount() const { return static_cast<unsigned int>(models_.size()); }
  // Any thread; the model of that name, or null.
  ModelPtr ModelByName(const std::string& name) const;

  // Any thread; the root element of the description the world was built from.
  sdf::ElementPtr GetSDF() const { return sdf_; }
  // Set-up; keeps the description (and so every element a plug-in is given) alive.
  void SetSDF(const sdf::ElementPtr& root) { sdf_ = root; }

  // Set-up: adds a model (its kinematics are brought up to date).
  void AddModel(const ModelPtr& model);
  // Set-up: adds a sensor and registers it with the sensor manager.
  void AddSensor(const std::shared_ptr<sensors::Sensor>& sensor);
  // Set-up: brings link states and sensor readings up to date without a step.
  void UpdateState();

  // World thread; runs steps. Allocates nothing unless a callback does;
  // exceptions of worldUpdateBegin callbacks are reported and do not leave.
  void Step(unsigned int steps = 1);

private:
  ignition::math::Vector3d gravity_;
  int64_t step_ns_ = 0;
  int64_t sim_time_ns_ = 0;
  uint64_t iterations_ = 0;
  int64_t wall_start_ns_ = -1;
  common::UpdateInfo update_info_;
  sdf::ElementPtr sdf_;
  Model_V models_;
  std::vector<std::shared_ptr<sensors::Sensor>> sensors_;
};

}  // namespace physics
}  // namespace gazebo
