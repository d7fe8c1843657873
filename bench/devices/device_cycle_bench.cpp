// One control cycle of the dummy-joint device library: the driver container's
// sense_all and move_all, with the client container reading and commanding
// every joint in between, for 100 joints. The allocation hook counts the
// cycle's mallocs; a cycle that allocates fails the benchmark.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "alloc_counter.h"
#include "orvo2/devices/device_container_base.h"
#include "orvo2/devices/joint_base.h"

using namespace Orvo::Hal;

namespace {

std::vector<DeviceInfo> dummy_joints(int count) {
  std::vector<DeviceInfo> infos;
  for (int i = 0; i < count; ++i) {
    infos.push_back({"joint_" + std::to_string(i), "joint_dummy", i});
  }
  return infos;
}

void BM_DummyJointCycle(benchmark::State& state) {
  const auto infos = dummy_joints(static_cast<int>(state.range(0)));
  auto drivers = DeviceContainerBase::MakeDriver("joint_dummy", infos);
  auto clients = DeviceContainerBase::MakeClient("joint_dummy", infos);
  std::vector<JointBase*> joints;
  for (const auto& device : clients->get_device_base_vector()) {
    joints.push_back(dynamic_cast<JointBase*>(device.get()));
  }

  double reference = 0.0;
  auto cycle = [&] {
    drivers->sense_all();
    clients->sense_all();
    reference += 1e-3;
    for (JointBase* joint : joints) {
      joint->set_pos_ref(joint->get_link_pos() + reference);
    }
    clients->move_all();
    return drivers->move_all();
  };
  cycle();  // first pass: trace levels and thread-local data are set up
  Orvo::test::AllocCounter allocations;
  for (auto _ : state) {
    benchmark::DoNotOptimize(cycle());
  }
  const size_t count = allocations.count();
  state.counters["allocs_per_cycle"] = double(count) / double(state.iterations());
  if (count != 0) {
    state.SkipWithError("the cycle allocated");
  }
}

void BM_DriverContainerOnly(benchmark::State& state) {
  const auto infos = dummy_joints(static_cast<int>(state.range(0)));
  auto drivers = DeviceContainerBase::MakeDriver("joint_dummy", infos);
  drivers->sense_all();  // first pass: trace levels and thread-local data are set up
  drivers->move_all();
  Orvo::test::AllocCounter allocations;
  for (auto _ : state) {
    drivers->sense_all();
    benchmark::DoNotOptimize(drivers->move_all());
  }
  const size_t count = allocations.count();
  state.counters["allocs_per_cycle"] = double(count) / double(state.iterations());
  if (count != 0) {
    state.SkipWithError("the cycle allocated");
  }
}

}  // namespace

BENCHMARK(BM_DummyJointCycle)->Arg(100);
BENCHMARK(BM_DriverContainerOnly)->Arg(100);
BENCHMARK_MAIN();
