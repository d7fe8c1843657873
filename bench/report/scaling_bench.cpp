// Cost of the worker cycles as the robot grows: N dummy joints behind the
// joint master in a 1 kHz hardware thread (SCHED_FIFO 60), the ROS bridge in
// a 10 ms thread of its own, set up from a generated configuration and URDF
// exactly as orvocore does, with a rosmaster on a free loopback port and
// another process subscribed to "/orvocore/joint_states" (so that the bridge
// serializes and sends every joint state).
//
// One iteration watches `cycles` cycles of the hardware thread, after the
// threads ran for a while: the cycle time (sense + run + move) at the median
// and the 99th percentile and the mallocs per cycle, for both threads.
// With bridge:0 the bridge's thread is left out (the hardware thread alone).
// Run one joint count per process (the device topics are named after the
// joints): --benchmark_filter='/joints:100/window_ms:3000/bridge:1'.

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>
#include <yaml-cpp/yaml.h>

#include "framework/primitives/device_info.h"
#include "framework/typed/parameter.h"
#include "framework/typed/topic.h"
#include "memory_hooks.h"
#include "orvo2/configuration/config_parser.h"
#include "orvo2/context/journal.h"
#include "orvo2/workers/orvo_core_thread.h"
#include "orvo_interface/config_options.h"
#include "orvo_interface/orvo_interface.h"
#include "orvo_interface/robot_interface.h"
#include "ros_test_env.h"
#include "temp_dir.h"
#include "chain_urdf.h"

namespace {

using ExecutionTime = Orvo::OrvoCoreThread::ExecutionTime;

std::string config(int joints, bool bridge) {
  std::ostringstream out;
  out << "robot:\n  urdf: scaling_arm.urdf\njoints:\n  joint_dummy:\n";
  for (int i = 1; i <= joints; ++i) {
    out << "    - {name: joint_" << i << ", id: " << i << "}\n";
  }
  out << "devices:\n  joint_master:\n    - {name: all_joints, id: 100000}\n"
      << "threads:\n"
      << "  hal_thread:\n    period: 1ms\n    policy: SCHED_FIFO\n    priority: 60\n"
      << "    devices: [joint_dummy, joint_master]\n";
  if (bridge) {
    out << "  ros_thread:\n    period: 10ms\n    tasks:\n      ros_io:\n        plugin: ros_io\n";
  }
  return out.str();
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
  OrvoTest::TempDir dir{"report_scaling"};
  std::unique_ptr<OrvoTest::RosMaster> master;
  std::unique_ptr<OrvoTest::ChildProcess> listener;
  Orvo::ConfigOptions options;
  Orvo::OrvoInterface model;
  std::unique_ptr<Orvo::ConfigParser> parser;
  std::vector<std::unique_ptr<Orvo::OrvoCoreThread>> threads;
  ThreadWatch hal;
  ThreadWatch bridge;

  Robot(int count, bool run_bridge) : joints(count), with_bridge(run_bridge) {
    const int port = OrvoTest::free_loopback_port();
    ::setenv("ROS_MASTER_URI", ("http://127.0.0.1:" + std::to_string(port)).c_str(), 1);
    ::setenv("ROS_HOSTNAME", "127.0.0.1", 1);
    ::setenv("ROS_HOME", (dir.path() + "/ros_home").c_str(), 1);
    master = std::make_unique<OrvoTest::RosMaster>(port, dir.path() + "/master.log");
    if (!master->ready()) {
      throw std::runtime_error("rosmaster did not start on port " + std::to_string(port));
    }
    listener = std::make_unique<OrvoTest::ChildProcess>(std::vector<std::string>{REPORT_PEER, "joint_states"},
                                                        dir.path() + "/listener.log");
    dir.write("scaling_arm.urdf", OrvoTest::chain_urdf("scaling_arm", joints));
    const std::string path = dir.write("config.yaml", config(joints, with_bridge));

    // The launcher's set-up, step by step.
    Orvo::ParameterManager& params = Orvo::Context().paramManager();
    options = Orvo::ConfigOptions::FromConfigFile(path);
    options.set_parameter<std::string>("framework", "Orvo2Rt");
    params.setParam<Orvo::ConfigOptions>("/orvo_internal/hal/robot_ifc_cfg", options);
    model.init(options);
    parser = std::make_unique<Orvo::ConfigParser>(YAML::LoadFile(path), model);
    params.setParam<Orvo::Hal::HardwareDescription>("/orvo_internal/hardware_description", parser->getHw());
    for (const std::string& name : parser->getThreads()) {
      threads.push_back(std::make_unique<Orvo::OrvoCoreThread>(name, parser->getThreadSchedArgs(name),
                                                               parser->getThreadHalArgs(name),
                                                               parser->getThreadTaskArgs(name), true));
    }
    hal.watch(*threads[0], 20000);
    if (with_bridge) {
      bridge.watch(*threads[1], 2000);
    }
    for (auto& thread : threads) {
      thread->start();
    }
  }

  ~Robot() {
    for (auto& thread : threads) {
      thread->stop();
    }
    Orvo::RobotInterface::clearRobotMap();
    threads.clear();
    listener.reset();
    master.reset();
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
