// Latency of a framework service call served by a 1 kHz worker thread: the
// answer comes when the server's thread drains its queue, once per cycle.
//
//  - BM_ServiceLatency_WorkerToWorker: the caller is a control plug-in in
//    another 1 kHz worker thread (SCHED_FIFO 50; the server's is SCHED_FIFO
//    60); every cycle it calls "scheduler/<task>/get_state" of a task of the
//    server thread and publishes the time to the answer.
//  - BM_ServiceLatency_AnyTimeToWorker: the caller is an ordinary thread that
//    calls at random moments (0 to 2 ms apart), so every phase of the
//    server's cycle is met.
//
// Counters: median and 99th percentile in microseconds, and the calls that
// got no answer (time-out 5 ms).

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <benchmark/benchmark.h>

#include "framework/primitives/device_info.h"
#include "framework/typed/parameter.h"
#include "framework/typed/service.h"
#include "framework/typed/topic.h"
#include "orvo2/context/journal.h"
#include "orvo2/workers/orvo_core_thread.h"

namespace {

using Clock = std::chrono::steady_clock;

Orvo::SchedArgs one_khz(int priority) {
  Orvo::SchedArgs sched;
  sched.period = std::chrono::milliseconds(1);
  sched.policy = SCHED_FIFO;
  sched.priority = priority;
  return sched;
}

void report(benchmark::State& state, std::vector<int64_t> latency_ns, size_t unanswered) {
  if (latency_ns.empty()) {
    state.SkipWithError("no answered call");
    return;
  }
  std::sort(latency_ns.begin(), latency_ns.end());
  const auto at = [&latency_ns](double fraction) {
    return static_cast<double>(latency_ns[static_cast<size_t>(fraction * static_cast<double>(latency_ns.size() - 1))]) /
           1e3;
  };
  state.counters["median_us"] = at(0.5);
  state.counters["p99_us"] = at(0.99);
  state.counters["max_us"] = at(1.0);
  state.counters["calls"] = static_cast<double>(latency_ns.size());
  state.counters["unanswered"] = static_cast<double>(unanswered);
}

// A worker thread of its own at 1 kHz with the idle task `task`.
std::unique_ptr<Orvo::OrvoCoreThread> server_thread(const std::string& name, const std::string& task) {
  Orvo::TaskArgs tasks{{{task, "bench_service_caller", {}}}};
  return std::make_unique<Orvo::OrvoCoreThread>(name, one_khz(60), Orvo::HalArgs{}, tasks, true);
}

std::string unique(const char* base) {
  static int count = 0;
  return std::string(base) + "_" + std::to_string(++count);
}

void BM_ServiceLatency_WorkerToWorker(benchmark::State& state) {
  const size_t samples = static_cast<size_t>(state.range(0));
  constexpr size_t warm_up = 200;
  for (auto _ : state) {
    const std::string idle = unique("idle");
    const std::string caller = unique("caller");
    auto server = server_thread(unique("server_thread"), idle);
    Orvo::TaskArgs tasks{{{caller, "bench_service_caller", {{"target", Orvo::ConfigValue{idle}}}}}};
    Orvo::OrvoCoreThread client(unique("client_thread"), one_khz(50), Orvo::HalArgs{}, tasks, true);

    std::vector<int64_t> latency_ns;
    latency_ns.reserve(samples + warm_up);
    size_t unanswered = 0;
    auto results = Orvo::Context().topicManager().subscribe<int64_t>(
        "/" + caller + "/latency_ns",
        [&](const int64_t& ns) {
          if (ns < 0) {
            ++unanswered;
          } else if (latency_ns.size() < latency_ns.capacity()) {
            latency_ns.push_back(ns);
          }
        },
        nullptr, 1000, "report");
    server->start();
    client.start();
    const auto deadline = Clock::now() + std::chrono::milliseconds(samples + warm_up) * 3;
    while (latency_ns.size() + unanswered < samples + warm_up && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      results->run();
    }
    client.stop();
    server->stop();
    results->run();
    if (latency_ns.size() > warm_up) {
      latency_ns.erase(latency_ns.begin(), latency_ns.begin() + warm_up);
    }
    report(state, latency_ns, unanswered);
  }
}
BENCHMARK(BM_ServiceLatency_WorkerToWorker)->Arg(3000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ServiceLatency_AnyTimeToWorker(benchmark::State& state) {
  const size_t samples = static_cast<size_t>(state.range(0));
  std::mt19937 random(7);
  std::uniform_int_distribution<int> pause_us(0, 2000);
  for (auto _ : state) {
    const std::string idle = unique("idle");
    auto server = server_thread(unique("server_thread"), idle);
    server->start();
    auto client = Orvo::Context().serviceManager().serviceClient<Orvo::service::Empty, std::string>(
        "/orvo_internal/scheduler/" + idle + "/get_state");
    std::string answer;
    std::vector<int64_t> latency_ns;
    size_t unanswered = 0;
    for (size_t i = 0; i < samples; ++i) {
      std::this_thread::sleep_for(std::chrono::microseconds(pause_us(random)));
      const auto start = Clock::now();
      if (client->call(Orvo::service::Empty{}, answer, std::chrono::milliseconds(5))) {
        latency_ns.push_back(std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - start).count());
      } else {
        ++unanswered;
      }
    }
    server->stop();
    report(state, latency_ns, unanswered);
  }
}
BENCHMARK(BM_ServiceLatency_AnyTimeToWorker)->Arg(2000)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  Orvo::Journal::SetGlobalJournalLevel(2);
  Orvo::Context().paramManager().setParam("/orvo_internal/hardware_description", Orvo::Hal::HardwareDescription{});
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
