#include "gazebo/physics/World.hh"

#include <cmath>
#include <ctime>
#include <stdexcept>
#include <string>

#include "gazebo/common/Events.hh"
#include "gazebo/physics/Model.hh"
#include "gazebo/sensors/Sensor.hh"
#include "gazebo/sensors/SensorManager.hh"

namespace gazebo {
namespace physics {

namespace {
int64_t monotonic_ns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
}  // namespace

World::World(const std::string& name, const ignition::math::Vector3d& gravity, double step_size)
    : gravity_(gravity) {
  update_info_.worldName = name;
  SetStepSize(step_size);
}

World::~World() {
  for (const auto& sensor : sensors_) sensors::SensorManager::Instance()->RemoveSensor(sensor);
}

void World::SetStepSize(double seconds) {
  const int64_t ns = std::llround(seconds * 1e9);
  if (!(seconds > 0) || ns <= 0)
    throw std::invalid_argument("world '" + Name() + "': step size " + std::to_string(seconds) +
                                " s is not positive");
  step_ns_ = ns;
}

ModelPtr World::ModelByName(const std::string& name) const {
  for (const ModelPtr& model : models_)
    if (model->GetName() == name) return model;
  return nullptr;
}

void World::AddModel(const ModelPtr& model) {
  models_.push_back(model);
  model->UpdateKinematics();
}

void World::AddSensor(const std::shared_ptr<sensors::Sensor>& sensor) {
  sensors_.push_back(sensor);
  sensors::SensorManager::Instance()->AddSensor(sensor);
  sensor->UpdateFromWorld(0.0);
}

void World::UpdateState() {
  for (const ModelPtr& model : models_) model->UpdateKinematics();
  for (const auto& sensor : sensors_) sensor->UpdateFromWorld(0.0);
}

void World::Step(unsigned int steps) {
  const double dt = StepSize();
  for (unsigned int i = 0; i < steps; ++i) {
    const int64_t now = monotonic_ns();
    if (wall_start_ns_ < 0) wall_start_ns_ = now;
    update_info_.simTime = common::Time::FromNanoseconds(sim_time_ns_);
    update_info_.realTime = common::Time::FromNanoseconds(now - wall_start_ns_);
    event::Events::worldUpdateBegin(update_info_);

    for (const ModelPtr& model : models_) model->Integrate(dt);
    for (const ModelPtr& model : models_) model->UpdateKinematics();
    for (const auto& sensor : sensors_) sensor->UpdateFromWorld(dt);
    sim_time_ns_ += step_ns_;
    ++iterations_;
  }
}

}  // namespace physics
}  // namespace gazebo
