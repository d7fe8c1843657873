// The example robot's worker cycle at 100 joints: the dummy arm's
// configuration with 100 joint_dummy joints (a generated 100-joint URDF) and
// the joint master with its command filter on, run in this process as
// orvocore runs it. The hardware thread (1 kHz, SCHED_FIFO 60) drives the
// joints and the master; the control thread (1 kHz, SCHED_FIFO 50) runs
// bench_commander, which senses and commands all 100 joints through its
// robot interface every cycle.
//
// For each thread, over `cycles` cycles after 500 of warm-up, from its own
// "/<thread>/execution_time" messages: the cycle's time (sense + run + move)
// at the median and the 99th percentile, the period's deviation from 1 ms
// (jitter) at the 99th percentile and at its worst, and the mallocs per
// cycle counted by the allocation hook inside the worker thread.
//
// The floor, measured in the same run once the robot stopped: the records the
// hardware thread moves in a cycle, moved through plain arrays in one thread
// at the same 1 kHz pace (so the arrays are as cold as the topics are between
// two cycles). Each joint's state goes from the device to its published
// record, to the master's copy and into the aggregate; each command from the
// aggregate to its published record and to the device. "hal_floor_ratio" is
// the hardware thread's median cycle over the floor's median.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/typed/topic.h"
#include "in_process_robot.h"
#include "memory_hooks.h"
#include "orvo2/context/journal.h"
#include "orvo2/devices/joint_master_messages.h"
#include "devices/joint_records.h"
#include "orvo2/workers/orvo_core_thread.h"
#include "orvo2/tasks/task_statistics.h"
#include "temp_dir.h"
#include "chain_urdf.h"

namespace {

using ExecutionTime = Orvo::OrvoCoreThread::ExecutionTime;
constexpr int kJoints = 100;
constexpr int64_t kPeriodNs = 1000000;
constexpr uint64_t kWarmUp = 500;
// Execution times queued between two collections: 10 ms of cycles and more.
constexpr int kQueueSize = 100;

std::string write_robot(const OrvoTest::TempDir& dir) {
  return OrvoTest::chain_config("dummy_chain", kJoints)
      .device("joint_master", "all_joints", 1000)
      .thread(OrvoTest::WorkerThread("hal_thread", "1ms").fifo(60).devices({"joint_dummy", "joint_master"}))
      .thread(OrvoTest::WorkerThread("ctrl_thread", "1ms").fifo(50).task("commander", "bench_commander"))
      .parameter({"/jm/tx_filter_autostart", "bool", "true"})
      .parameter({"/jm/tx_filter_cutoff", "double", "1.0"})
      .write(dir);
}

int64_t percentile(std::vector<int64_t> values, double fraction) {
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

// One worker thread's figures: its execution times, and its mallocs from the
// end of the warm-up to the end of the measured cycles, counted in the thread.
class ThreadProbe {
public:
  ThreadProbe(Orvo::OrvoCoreThread& thread, uint64_t cycles) : _cycles(cycles) {
    _times.reserve(cycles + kWarmUp + 100);
    _sub = Orvo::Context().topicManager().subscribe<ExecutionTime>(
        "/" + thread.getName() + "/execution_time", [this](const ExecutionTime& t) { _times.push_back(t); },
        nullptr, kQueueSize, "bench");
    thread.setCycleHook([this](uint64_t count) {
      if (count == kWarmUp) {
        orvo2_set_malloc_hook([this](size_t) { _allocations.fetch_add(1, std::memory_order_relaxed); });
      } else if (count == kWarmUp + _cycles) {
        orvo2_set_malloc_hook(nullptr);
      }
      _done.store(count, std::memory_order_release);
    });
  }

  // The benchmark's thread, at least every 10 ms while the thread runs:
  // takes the execution times that arrived.
  void collect() { _sub->run(); }
  bool done() const { return _done.load(std::memory_order_acquire) >= kWarmUp + _cycles; }

  // After the thread stopped. False when too few cycles were reported.
  bool report(benchmark::State& state, const std::string& prefix) {
    collect();
    std::vector<int64_t> cycle_ns;
    std::vector<int64_t> sense_ns;
    std::vector<int64_t> run_ns;
    std::vector<int64_t> move_ns;
    std::vector<int64_t> jitter_ns;
    for (size_t i = kWarmUp; i < std::min<size_t>(_times.size(), kWarmUp + _cycles); ++i) {
      cycle_ns.push_back(_times[i].sense + _times[i].run + _times[i].move);
      sense_ns.push_back(_times[i].sense);
      run_ns.push_back(_times[i].run);
      move_ns.push_back(_times[i].move);
      jitter_ns.push_back(std::llabs(_times[i].period - kPeriodNs));
    }
    if (cycle_ns.size() < _cycles / 2) {
      return false;
    }
    state.counters[prefix + "cycle_median_us"] = static_cast<double>(percentile(cycle_ns, 0.5)) / 1e3;
    state.counters[prefix + "sense_median_us"] = static_cast<double>(percentile(sense_ns, 0.5)) / 1e3;
    state.counters[prefix + "run_median_us"] = static_cast<double>(percentile(run_ns, 0.5)) / 1e3;
    state.counters[prefix + "move_median_us"] = static_cast<double>(percentile(move_ns, 0.5)) / 1e3;
    state.counters[prefix + "cycle_p99_us"] = static_cast<double>(percentile(cycle_ns, 0.99)) / 1e3;
    state.counters[prefix + "jitter_p99_us"] = static_cast<double>(percentile(jitter_ns, 0.99)) / 1e3;
    state.counters[prefix + "jitter_max_us"] = static_cast<double>(percentile(jitter_ns, 1.0)) / 1e3;
    state.counters[prefix + "allocs_per_cycle"] =
        static_cast<double>(_allocations.load()) / static_cast<double>(_cycles);
    return true;
  }

private:
  uint64_t _cycles;
  std::vector<ExecutionTime> _times;
  std::shared_ptr<Orvo::Subscriber<ExecutionTime>> _sub;
  std::atomic<uint64_t> _allocations{0};
  std::atomic<uint64_t> _done{0};
};

// The same records through plain arrays: one array per hop, as each hop of a
// topic has memory of its own.
class Floor {
public:
  Floor()
      : _device_rx(kJoints), _published_rx(kJoints), _master_rx(kJoints), _aggregate_rx(kJoints),
        _aggregate_tx(kJoints), _published_tx(kJoints), _device_tx(kJoints) {}

  // Nanoseconds per pass, one pass per period.
  std::vector<int64_t> run(uint64_t passes) {
    std::vector<int64_t> times;
    times.reserve(passes);
    auto next = std::chrono::steady_clock::now();
    for (uint64_t n = 0; n < kWarmUp + passes; ++n) {
      next += std::chrono::nanoseconds(kPeriodNs);
      std::this_thread::sleep_until(next);
      const auto start = std::chrono::steady_clock::now();
      pass(static_cast<float>(n));
      const auto end = std::chrono::steady_clock::now();
      if (n >= kWarmUp) {
        times.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(end - start).count());
      }
    }
    return times;
  }

private:
  void pass(float stamp) {
    for (int i = 0; i < kJoints; ++i) {
      _device_rx[i].link_pos = stamp;
      _published_rx[i] = _device_rx[i];
      _master_rx[i] = _published_rx[i];
      _aggregate_rx[i] = _master_rx[i];
    }
    benchmark::ClobberMemory();
    for (int i = 0; i < kJoints; ++i) {
      _published_tx[i] = _aggregate_tx[i];
      _device_tx[i] = _published_tx[i];
    }
    benchmark::ClobberMemory();
  }

  std::vector<Orvo::Hal::joint_rx> _device_rx, _published_rx, _master_rx, _aggregate_rx;
  std::vector<Orvo::Hal::joint_tx> _aggregate_tx, _published_tx, _device_tx;
};

void BM_WorkerCycle(benchmark::State& state) {
  const uint64_t cycles = static_cast<uint64_t>(state.range(0));
  Orvo::Journal::SetGlobalJournalLevel(2);
  OrvoTest::TempDir dir("workers_bench");
  const std::string config = write_robot(dir);

  for (auto _ : state) {
    OrvoTest::InProcessRobot robot(config);
    ThreadProbe hal(robot.thread("hal_thread"), cycles);
    ThreadProbe ctrl(robot.thread("ctrl_thread"), cycles);
    Orvo::Scheduler::TaskStatistics commander;
    auto commander_sub = Orvo::Context().topicManager().subscribe<Orvo::Scheduler::TaskStatistics>(
        "/commander/stats", [&commander](const Orvo::Scheduler::TaskStatistics& s) { commander = s; }, nullptr, 1,
        "bench");
    Orvo::Hal::JointMasterInfo master;
    auto master_sub = Orvo::Context().topicManager().subscribe<Orvo::Hal::JointMasterInfo>(
        "/joint_master/info", [&master](const Orvo::Hal::JointMasterInfo& info) { master = info; }, nullptr, 1,
        "bench");

    robot.start();
    const auto limit = std::chrono::steady_clock::now() +
                       std::chrono::nanoseconds(3 * kPeriodNs * static_cast<int64_t>(kWarmUp + cycles));
    while (!(hal.done() && ctrl.done()) && std::chrono::steady_clock::now() < limit) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      hal.collect();
      ctrl.collect();
    }
    commander_sub->run();
    master_sub->run();
    robot.stop();

    if (!hal.done() || !ctrl.done()) {
      state.SkipWithError("the threads did not cycle in time");
      return;
    }
    if (commander.state != Orvo::Runnable::Running || master.mask != 0xFFFFFFFFu || !master.tx_filter_enabled) {
      state.SkipWithError("the commander did not run, or the joint master refused its commands");
      return;
    }
    if (!hal.report(state, "hal_") || !ctrl.report(state, "ctrl_")) {
      state.SkipWithError("execution times missing");
      return;
    }
    const std::vector<int64_t> floor_ns = Floor().run(cycles);
    const double floor_median_us = static_cast<double>(percentile(floor_ns, 0.5)) / 1e3;
    state.counters["floor_median_us"] = floor_median_us;
    state.counters["floor_p99_us"] = static_cast<double>(percentile(floor_ns, 0.99)) / 1e3;
    state.counters["hal_floor_ratio"] = state.counters["hal_cycle_median_us"] / floor_median_us;
  }
}

BENCHMARK(BM_WorkerCycle)->Arg(5000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
