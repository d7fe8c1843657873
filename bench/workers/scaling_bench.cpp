// Cost of the worker cycles as the robot grows: N dummy joints behind the
// joint master in a 1 kHz hardware thread (SCHED_FIFO 60), the ROS bridge in
// a 10 ms thread of its own, set up from a generated configuration and URDF
// exactly as orvocore does (in_process_robot.h, as in workers_bench), with a
// rosmaster on a free loopback port and another process subscribed to
// "/orvocore/joint_states" (so that the bridge serializes and sends every
// joint state).
//
// One iteration watches `cycles` cycles of the hardware thread, after the
// threads ran for a while: the cycle time (sense + run + move) at the median
// and the 99th percentile and the mallocs per cycle, for both threads.
// With bridge:0 the bridge's thread is left out (the hardware thread alone).
// Run one joint count per process (the device topics are named after the
// joints): --benchmark_filter='/joints:100/window_ms:3000/bridge:1'.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "framework/primitives/device_info.h"
#include "framework/typed/parameter.h"
#include "framework/typed/topic.h"
#include "in_process_robot.h"
#include "memory_hooks.h"
#include "orvo2/context/journal.h"
#include "orvo2/workers/orvo_core_thread.h"
#include "ros_graph.h"
#include "chain_urdf.h"

namespace {

using ExecutionTime = Orvo::OrvoCoreThread::ExecutionTime;

OrvoTest::RobotConfig config(int joints, bool bridge) {
  OrvoTest::RobotConfig robot = OrvoTest::chain_config("scaling_arm", joints);
  robot.device("joint_master", "all_joints", 100000)
      .thread(OrvoTest::WorkerThread("hal_thread", "1ms").fifo(60).devices({"joint_dummy", "joint_master"}));
  if (bridge) {
    robot.thread(OrvoTest::WorkerThread("ros_thread", "10ms").task("ros_io", "ros_io"));
  }
  return robot;
}

int64_t percentile(std::vector<int64_t> values, double fraction) {
  if (values.empty()) {
    return -1;
  }
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(fraction * static_cast<double>(values.size() - 1))];
}

// Cycle times and mallocs of one worker thread while `counting` is set.
struct ThreadWatch {
  std::vector<int64_t> cycle_ns;
  std::atomic<uint64_t> allocations{0};
  std::atomic<uint64_t> counted_cycles{0};
  std::atomic<bool> counting{false};  // read by the worker's hook
  bool collecting = false;             // main thread only
  std::shared_ptr<Orvo::Subscriber<ExecutionTime>> times;
  bool hooked = false;  // worker thread only

  void watch(Orvo::OrvoCoreThread& thread, size_t capacity) {
    cycle_ns.reserve(capacity);
    times = Orvo::Context().topicManager().subscribe<ExecutionTime>(
        "/" + thread.getName() + "/execution_time",
        [this](const ExecutionTime& t) {
          if (collecting && cycle_ns.size() < cycle_ns.capacity()) {
            cycle_ns.push_back(t.sense + t.run + t.move);
          }
        },
        nullptr, static_cast<int>(capacity), "scaling_bench");
    // The hook is installed in the worker thread itself, at a cycle's end;
    // the cycles after that one are counted.
    thread.setCycleHook([this](uint64_t) {
      const bool on = counting.load();
      if (on && !hooked) {
        orvo2_set_malloc_hook([this](size_t) { allocations.fetch_add(1, std::memory_order_relaxed); });
        hooked = true;
      } else if (!on && hooked) {
        orvo2_set_malloc_hook(nullptr);
        hooked = false;
      } else if (hooked) {
        counted_cycles.fetch_add(1);
      }
    });
  }
  void start() {
    times->run();  // what came before the window
    cycle_ns.clear();
    allocations = 0;
    counted_cycles = 0;
    counting = true;
    collecting = true;
  }
  void stop() {
    counting = false;
    times->run();
    collecting = false;
  }
};

struct Robot {
  int joints = 0;
  bool with_bridge = true;
  OrvoBench::RosGraph graph{"scaling_bench"};
  ThreadWatch hal;
  ThreadWatch bridge;
  // Declared last: its threads stop before the watches go.
  std::unique_ptr<OrvoTest::InProcessRobot> threads;

  Robot(int count, bool run_bridge) : joints(count), with_bridge(run_bridge) {
    graph.start("listener", {REPORT_PEER, "joint_states"});
    threads = std::make_unique<OrvoTest::InProcessRobot>(config(joints, with_bridge).write(graph.dir()));
    hal.watch(threads->thread("hal_thread"), 20000);
    if (with_bridge) {
      bridge.watch(threads->thread("ros_thread"), 2000);
    }
    threads->start();
  }
};

void report(benchmark::State& state, const char* prefix, const ThreadWatch& watch) {
  const std::string p = prefix;
  state.counters[p + "_median_us"] = static_cast<double>(percentile(watch.cycle_ns, 0.5)) / 1e3;
  state.counters[p + "_p99_us"] = static_cast<double>(percentile(watch.cycle_ns, 0.99)) / 1e3;
  state.counters[p + "_allocs_per_cycle"] =
      static_cast<double>(watch.allocations.load()) / static_cast<double>(std::max<uint64_t>(1, watch.counted_cycles));
  state.counters[p + "_cycles"] = static_cast<double>(watch.cycle_ns.size());
}

std::unique_ptr<Robot> robot;

void BM_WorkerScaling(benchmark::State& state) {
  const int joints = static_cast<int>(state.range(0));
  const auto window = std::chrono::milliseconds(state.range(1));
  const bool with_bridge = state.range(2) != 0;
  if (robot && (robot->joints != joints || robot->with_bridge != with_bridge)) {
    state.SkipWithError("one joint count per process: use --benchmark_filter");
    return;
  }
  if (!robot) {
    Orvo::Journal::SetGlobalJournalLevel(2);
    robot = std::make_unique<Robot>(joints, with_bridge);
    // Warm-up: the bridge connects to the master and the listener, every
    // message pool has gone round once.
    std::this_thread::sleep_for(std::chrono::seconds(3));
  }
  for (auto _ : state) {
    robot->hal.start();
    if (with_bridge) {
      robot->bridge.start();
    }
    std::this_thread::sleep_for(window);
    robot->hal.stop();
    if (with_bridge) {
      robot->bridge.stop();
    }
  }
  report(state, "hal", robot->hal);
  if (with_bridge) {
    report(state, "bridge", robot->bridge);
  }
}

BENCHMARK(BM_WorkerScaling)
    ->ArgNames({"joints", "window_ms", "bridge"})
    ->ArgsProduct({{10, 100, 1000}, {3000}, {1, 0}})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  try {
    benchmark::RunSpecifiedBenchmarks();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "scaling_bench: %s\n", error.what());
    robot.reset();
    return 1;
  }
  robot.reset();
  benchmark::Shutdown();
  return 0;
}
