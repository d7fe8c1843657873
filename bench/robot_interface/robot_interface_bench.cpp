// One worker-thread cycle of the dummy arm (six dummy joints behind the joint
// master), without and with a control plug-in's robot interface that senses,
// commands every joint and moves. The difference is the robot interface's
// share. The allocation hook counts the cycles' mallocs; a cycle that
// allocates fails the benchmark.
#include <benchmark/benchmark.h>

#include <yaml-cpp/yaml.h>

#include <memory>
#include <string>

#include "alloc_counter.h"
#include "framework/typed/parameter.h"
#include "orvo2/configuration/config_parser.h"
#include "orvo2/context/context.h"
#include "orvo2/devices/device_container_base.h"
#include "orvo2/robot/robot_interface_orvo2rt.h"
#include "orvo_interface/config_options.h"

namespace {

const std::string kConfig = std::string(ORVO2_EXAMPLES_DIR) + "/dummy_robot/config.yaml";

struct Arm {
  Arm() {
    auto options = Orvo::ConfigOptions::FromConfigFile(kConfig);
    Orvo::OrvoInterface model;
    model.init(options);
    const auto hw = Orvo::ConfigParser(YAML::LoadFile(kConfig), model).getHw();
    Orvo::ParameterManager& params = Orvo::Context().paramManager();
    params.setParam(Orvo::RobotInterfaceOrvo2Rt::HardwareDescriptionParam, hw);
    params.setParam<std::string>("/robot_description", options.get_urdf());
    drivers = Orvo::Hal::DeviceContainerBase::MakeDriver("joint_dummy", hw.getDeviceInfoAll("joint_dummy"));
    master = Orvo::Hal::DeviceContainerBase::MakeDriver("joint_master", {});
    options.set_parameter("framework", std::string("Orvo2Rt"));
    robot = std::dynamic_pointer_cast<Orvo::RobotInterfaceOrvo2Rt>(Orvo::RobotInterface::MakeInstance(options));
    robot->setOwner("bench_task");
  }

  void hardware() {
    drivers->sense_all();
    master->sense_all();
    master->run_all();
    master->move_all();
    drivers->move_all();
  }

  void control() {
    robot->sense();
    for (const auto& joint : robot->getJointMap()) {
      joint.second->set_pos_ref(joint.second->get_link_pos());
    }
    robot->move();
  }

  std::unique_ptr<Orvo::Hal::DeviceContainerBase> drivers;
  std::unique_ptr<Orvo::Hal::DeviceContainerBase> master;
  std::shared_ptr<Orvo::RobotInterfaceOrvo2Rt> robot;
};

void run(benchmark::State& state, bool with_robot) {
  Arm arm;
  for (int i = 0; i < 100; ++i) {  // every joint valid, every pool message used once
    arm.hardware();
    arm.control();
  }
  Orvo::test::AllocCounter allocations;
  for (auto _ : state) {
    arm.hardware();
    if (with_robot) {
      arm.control();
    }
  }
  if (allocations.count() != 0) {
    state.SkipWithError("a cycle allocated");
  }
  state.counters["allocs"] = static_cast<double>(allocations.count());
  Orvo::RobotInterface::clearRobotMap();
}

void BM_ArmCycle(benchmark::State& state) { run(state, false); }
void BM_ArmCycleWithRobotInterface(benchmark::State& state) { run(state, true); }

BENCHMARK(BM_ArmCycle);
BENCHMARK(BM_ArmCycleWithRobotInterface);

}  // namespace

BENCHMARK_MAIN();
