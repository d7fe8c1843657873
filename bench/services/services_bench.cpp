// Round trip of a service call: from another thread through the server's
// callback queue, and from the server's own thread (direct call).

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "alloc_counter.h"
#include "framework/typed/service.h"
#include "orvo2/tasks/callback_queue.h"

namespace {

using namespace std::chrono_literals;

bool add_one(const double& request, double& response) {
  response = request + 1;
  return true;
}

// Allocations of the calling thread per call, measured after a warm-up call.
void count_allocations(benchmark::State& state, Orvo::ServiceClient<double, double>& client) {
  double response = 0;
  client.call(0, response, 1s);
  Orvo::test::AllocCounter counter;
  for (int i = 0; i < 100; ++i) {
    client.call(i, response, 1s);
  }
  state.counters["client_allocs_per_call"] = static_cast<double>(counter.count()) / 100;
}

void BM_ServiceCallRemote(benchmark::State& state) {
  const std::string name = "/bench/remote";
  std::atomic<bool> running{true};
  std::atomic<bool> ready{false};
  std::shared_ptr<Orvo::ServiceServer<double, double>> server;
  std::atomic<size_t> server_allocs{0};
  std::thread server_thread([&] {
    Orvo::CallbackQueue queue;
    server = Orvo::Context().serviceManager().advertiseService<double, double>(name, add_one, &queue);
    orvo2_set_malloc_hook([&server_allocs](size_t) { server_allocs.fetch_add(1); });
    ready = true;
    while (running.load(std::memory_order_relaxed)) {
      queue.run();
    }
    orvo2_set_malloc_hook(nullptr);
    server.reset();
  });
  while (!ready.load()) {
    std::this_thread::yield();
  }
  auto client = Orvo::Context().serviceManager().serviceClient<double, double>(name);

  double request = 0;
  double response = 0;
  size_t failed = 0;
  for (auto _ : state) {
    failed += client->call(request, response, 1s) ? 0 : 1;
    request = response;
  }
  count_allocations(state, *client);
  running = false;
  server_thread.join();
  state.counters["failed"] = static_cast<double>(failed);
  state.counters["server_allocs"] = static_cast<double>(server_allocs.load());
}
BENCHMARK(BM_ServiceCallRemote)->UseRealTime();

void BM_ServiceCallDirect(benchmark::State& state) {
  auto server = Orvo::Context().serviceManager().advertiseService<double, double>("/bench/direct", add_one, nullptr);
  auto client = Orvo::Context().serviceManager().serviceClient<double, double>("/bench/direct");
  double request = 0;
  double response = 0;
  for (auto _ : state) {
    client->call(request, response, 1s);
    request = response;
  }
  benchmark::DoNotOptimize(response);
  count_allocations(state, *client);
}
BENCHMARK(BM_ServiceCallDirect)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
