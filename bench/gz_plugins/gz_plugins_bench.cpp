// Steps of the simulated example robot (examples/sim_robot/sim_arm.sdf: six
// joints, one IMU, one force-torque sensor, two link states) with the four
// device servers loaded: in process, without and with a robot end sending
// joint commands every step, and orvosim as a process in fast mode (start-up
// included). The goal is 20 times real time at a 1 ms step.


#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <gazebo/common/Console.hh>
#include <gazebo/physics/physics.hh>

#include "orvo2/channel/client_manager.h"
#include "devices/device_tpl_common.h"
#include "devices/joint_records.h"
#include "orvo2/sim/plugin_host.h"
#include "orvo2/sim/world_loader.h"
#include "../sim/orvosim_runs.h"


namespace {

const std::string kModel = std::string(ORVO2_EXAMPLES_DIR) + "/sim_robot/sim_arm.sdf";
const char* const kJoints[] = {"shoulder_yaw", "shoulder_pitch", "elbow_pitch",
                               "wrist_roll",   "wrist_pitch",    "wrist_yaw"};

class RobotJoint : public Orvo::Hal::DeviceTplCommon<Orvo::Hal::joint_rx, Orvo::Hal::joint_tx> {
public:
  explicit RobotJoint(const std::string& name) : DeviceTplCommon({name, "joint_gz", 0}) {
    _tx.stiffness = 100.0f;
    _tx.damping = 5.0f;
  }
  bool sense() override { return true; }
  bool move() override { return true; }
  Orvo::Hal::joint_tx& tx() { return _tx; }
};

void set_rates(benchmark::State& state, double steps) {
  state.counters["steps_per_s"] = benchmark::Counter(steps, benchmark::Counter::kIsRate);
  state.counters["real_time_factor_at_1ms"] = benchmark::Counter(steps * 1e-3, benchmark::Counter::kIsRate);
}

void BM_WorldStepFourServers(benchmark::State& state) {
  gazebo::common::Console::SetQuiet(true);
  auto world = Orvo::load_sim_world(kModel);
  auto plugins = std::make_unique<Orvo::SimPluginHost>();
  plugins->load_all(world);
  for (auto _ : state) world->Step();
  set_rates(state, double(state.iterations()));
}
BENCHMARK(BM_WorldStepFourServers);

void BM_WorldStepFourServersWithRobotEnd(benchmark::State& state) {
  gazebo::common::Console::SetQuiet(true);
  auto world = Orvo::load_sim_world(kModel);
  auto plugins = std::make_unique<Orvo::SimPluginHost>();
  plugins->load_all(world);
  std::vector<std::shared_ptr<RobotJoint>> joints;
  std::vector<std::shared_ptr<Orvo::Hal::DeviceRt>> devices;
  for (const char* name : kJoints) {
    joints.push_back(std::make_shared<RobotJoint>(name));
    devices.push_back(joints.back());
  }
  Orvo::ClientManager robot(devices, "shm", "joint_gz");
  if (!robot.check_server_alive()) {
    state.SkipWithError("the joint server is not serving");
    return;
  }
  float ref = 0;
  for (auto _ : state) {
    ref = ref > 0.5f ? 0.0f : ref + 1e-4f;
    for (auto& joint : joints) joint->tx().pos_ref = ref;
    robot.send();
    world->Step();
    robot.recv();
  }
  set_rates(state, double(state.iterations()));
}
BENCHMARK(BM_WorldStepFourServersWithRobotEnd);

void BM_OrvosimFastFourServers(benchmark::State& state) {
  const long steps = state.range(0);
  if (!run_orvosim_fast(state, ORVOSIM_PATH, kModel)) {
    return;
  }
  set_rates(state, double(state.iterations()) * double(steps));
}
BENCHMARK(BM_OrvosimFastFourServers)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
