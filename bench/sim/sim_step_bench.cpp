// Steps of the simulator stand-in with a six-joint arm (one force-torque
// sensor, one IMU): in process with a PD callback on every joint, and orvosim
// as a process in fast mode (start-up included, clock messages sent each step).


#include <chrono>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include <gazebo/common/Events.hh>
#include <gazebo/physics/physics.hh>

#include "orvo2/sim/world_loader.h"
#include "orvosim_runs.h"


namespace {

const std::string kModel = std::string(ORVO2_SIM_BENCH_DATA) + "/six_joint_arm.sdf";

void BM_WorldStepSixJoints(benchmark::State& state) {
  auto world = Orvo::load_sim_world(kModel);
  const auto joints = world->ModelByName("six_joint_arm")->GetJoints();
  auto connection = gazebo::event::Events::ConnectWorldUpdateBegin(
      [&joints](const gazebo::common::UpdateInfo&) {
        for (const auto& joint : joints)
          joint->SetForce(0, -100 * (joint->Position(0) - 0.3) - 5 * joint->GetVelocity(0));
      });
  for (auto _ : state) world->Step();
  state.counters["steps_per_s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["real_time_factor_at_1ms"] =
      benchmark::Counter(double(state.iterations()) * 1e-3, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_WorldStepSixJoints);

void BM_OrvosimFastSixJoints(benchmark::State& state) {
  const long steps = state.range(0);
  if (!run_orvosim_fast(state, ORVOSIM_PATH, kModel)) {
    return;
  }
  const double total = double(state.iterations()) * steps;
  state.counters["steps_per_s"] = benchmark::Counter(total, benchmark::Counter::kIsRate);
  state.counters["real_time_factor_at_1ms"] = benchmark::Counter(total * 1e-3, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_OrvosimFastSixJoints)->Arg(20000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
