// One joint master cycle (sense, run, move) over 10 and 100 dummy joints
// paired with its clients as in one worker thread, with the command filter
// on, a command published every cycle and a consumer of the aggregated rx. Only the master's three calls are timed; the joints'
// driver container and the command stream run outside the timed part
// (wall time; thread_cpu_us is the same part in CPU time of the thread). The
// allocation hook counts every malloc of the loop; a cycle that allocates
// fails the benchmark.
#include <benchmark/benchmark.h>

#include <chrono>
#include <ctime>
#include <vector>

#include "alloc_counter.h"
#include "command_stream.h"
#include "master_rig.h"

using namespace Orvo;
using namespace Orvo::test;

namespace {

// CPU time of the calling thread: what the cycle costs without the time the
// scheduler gave to other processes.
int64_t thread_cpu_ns() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return int64_t(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

void BM_JointMasterCycle(benchmark::State& state) {
  const size_t joints = static_cast<size_t>(state.range(0));
  Context().paramManager().setParam("/jm/period", std::chrono::nanoseconds(1000000));
  auto rig = std::make_unique<MasterRig>(arm_joints(int(joints)), RigOptions{true, true, true});
  rig->keep_messages = false;
  // Warm-up until 500 cycles in a row allocate nothing: trace levels,
  // thread-local data, and every pooled message of the topics at its size
  // (the pools keep the messages of the earlier runs of this process).
  Orvo::test::AllocCounter allocations;
  int k = 0;
  for (int quiet = 0; quiet < 500 && k < 50000; ++k) {
    allocations.reset();
    publish_ramp(*rig->tx_pub, joints, k);
    rig->cycle();
    quiet = allocations.count() == 0 ? quiet + 1 : 0;
  }
  if (!rig->last_status.tx_filter_enabled) {
    state.SkipWithError("the filter did not start");
    return;
  }

  allocations.reset();
  int64_t cpu_ns = 0;
  for (auto _ : state) {
    publish_ramp(*rig->tx_pub, joints, k++);
    rig->drivers->sense_all();
    const int64_t cpu_start = thread_cpu_ns();
    const auto start = std::chrono::steady_clock::now();
    benchmark::DoNotOptimize(rig->master->sense());
    rig->master->run();
    rig->master->move();
    const auto stop = std::chrono::steady_clock::now();
    cpu_ns += thread_cpu_ns() - cpu_start;
    rig->drivers->move_all();
    rig->rx_sub->run();
    rig->info_sub->run();
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
  }
  const size_t count = allocations.count();
  state.counters["allocs_per_cycle"] = double(count) / double(state.iterations());
  state.counters["thread_cpu_us"] = 1e-3 * double(cpu_ns) / double(state.iterations());
  if (count != 0) {
    state.SkipWithError("the cycle allocated");
  }
  if (rig->last_status.mask != 0xFFFFFFFFu) {
    state.SkipWithError("a limit tripped");
  }
}

// The hardware thread's device work for 100 joints (the drivers' sense, run
// and move around the master's) after `range(0)` MiB were written, as when
// other work ran on the core between two cycles: 8 MiB leave the last-level
// cache warm, 64 MiB do not.
void BM_HardwareCycleCold(benchmark::State& state) {
  const size_t joints = 100;
  Context().paramManager().setParam("/jm/period", std::chrono::nanoseconds(1000000));
  auto rig = std::make_unique<MasterRig>(arm_joints(int(joints)), RigOptions{true, true, true});
  rig->keep_messages = false;
  std::vector<char> other_work(static_cast<size_t>(state.range(0)) << 20, 1);
  int k = 0;
  for (; k < 2000; ++k) {
    publish_ramp(*rig->tx_pub, joints, k);
    rig->cycle();
  }
  for (auto _ : state) {
    publish_ramp(*rig->tx_pub, joints, k++);
    for (size_t i = 0; i < other_work.size(); i += 64) {
      ++other_work[i];
    }
    benchmark::ClobberMemory();
    const auto start = std::chrono::steady_clock::now();
    rig->drivers->sense_all();
    rig->master->sense();
    rig->drivers->run_all();
    rig->master->run();
    rig->master->move();
    rig->drivers->move_all();
    const auto stop = std::chrono::steady_clock::now();
    rig->rx_sub->run();
    rig->info_sub->run();
    state.SetIterationTime(std::chrono::duration<double>(stop - start).count());
  }
  if (rig->last_status.mask != 0xFFFFFFFFu) {
    state.SkipWithError("a limit tripped");
  }
}

}  // namespace

BENCHMARK(BM_JointMasterCycle)->Arg(10)->Arg(100)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_HardwareCycleCold)->Arg(8)->Arg(64)->MinTime(0.05)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
