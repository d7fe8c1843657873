// One worker thread at 1 kHz driving 100 dummy joints, with a plug-in that
// commands all of them every cycle. Reported per run of `cycles` cycles:
// the cycle's own time (sense + run + move) at the median and the 99th
// percentile, the period's deviation from 1 ms (jitter) at the 99th
// percentile and at its worst, and the worker's allocations per cycle.

#include <benchmark/benchmark.h>
#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "framework/device_info.h"
#include "framework/parameter.h"
#include "framework/topic.h"
#include "memory_hooks.h"
#include "orvo2/journal.h"
#include "orvo2/orvo_core_thread.h"

namespace {

using ExecutionTime = Orvo::OrvoCoreThread::ExecutionTime;
constexpr int64_t period_ns = 1000000;

int64_t percentile(std::vector<int64_t> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

void BM_WorkerCycle(benchmark::State& state) {
  const int joints = static_cast<int>(state.range(0));
  const uint64_t cycles = static_cast<uint64_t>(state.range(1));
  constexpr uint64_t warm_up = 200;
  Orvo::Journal::SetGlobalJournalLevel(2);

  Orvo::Hal::HardwareDescription hw;
  for (int id = 1; id <= joints; ++id) {
    hw.addDeviceInfo({"joint_" + std::to_string(id), "joint_dummy", id});
  }
  Orvo::Context context;
  context.paramManager().setParam("/orvo_internal/hardware_description", hw);

  for (auto _ : state) {
    static int run = 0;
    const std::string thread_name = "bench_" + std::to_string(run++);
    Orvo::SchedArgs sched;
    sched.period = std::chrono::nanoseconds(period_ns);
    sched.policy = SCHED_FIFO;
    sched.priority = 80;
    Orvo::TaskArgs tasks{{{"commander_" + thread_name, "bench_commander", {}}}};
    Orvo::OrvoCoreThread thread(thread_name, sched, Orvo::HalArgs{{"joint_dummy"}}, tasks, true);

    std::vector<ExecutionTime> times;
    times.reserve(cycles + warm_up + 100);
    auto subscriber = context.topicManager().subscribe<ExecutionTime>(
        "/" + thread_name + "/execution_time", [&times](const ExecutionTime& t) { times.push_back(t); }, nullptr,
        static_cast<int>(cycles + warm_up + 100), "bench");
    std::atomic<uint64_t> allocations{0};
    std::atomic<uint64_t> done{0};
    thread.setCycleHook([&](uint64_t count) {
      if (count == warm_up) {
        orvo2_set_malloc_hook([&allocations](size_t) { allocations.fetch_add(1); });
      } else if (count == warm_up + cycles) {
        orvo2_set_malloc_hook(nullptr);
      }
      done.store(count);
    });
    thread.start();
    while (done.load() < warm_up + cycles) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    thread.stop();
    subscriber->run();

    std::vector<int64_t> cycle_ns;
    std::vector<int64_t> jitter_ns;
    for (size_t i = warm_up; i < std::min<size_t>(times.size(), warm_up + cycles); ++i) {
      cycle_ns.push_back(times[i].sense + times[i].run + times[i].move);
      jitter_ns.push_back(std::llabs(times[i].period - period_ns));
    }
    if (cycle_ns.empty()) {
      state.SkipWithError("no execution times received");
      return;
    }
    state.counters["cycle_median_us"] = static_cast<double>(percentile(cycle_ns, 0.5)) / 1e3;
    state.counters["cycle_p99_us"] = static_cast<double>(percentile(cycle_ns, 0.99)) / 1e3;
    state.counters["jitter_p99_us"] = static_cast<double>(percentile(jitter_ns, 0.99)) / 1e3;
    state.counters["jitter_max_us"] = static_cast<double>(percentile(jitter_ns, 1.0)) / 1e3;
    state.counters["allocs_per_cycle"] = static_cast<double>(allocations.load()) / static_cast<double>(cycles);
  }
}

BENCHMARK(BM_WorkerCycle)->Args({100, 5000})->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
