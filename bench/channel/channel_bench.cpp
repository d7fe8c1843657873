// Cost of the device channel per cycle, for N joint-sized devices (44-byte rx,
// 24-byte tx moving 21 bytes), client and server in one process.
//
//   FullCycle:  client send, server run, server send, client recv (one thread)
//   ClientSide: client send + recv, the server's half done untimed in between
//   ServerSide: server run + send, the client's half done untimed in between
//   PingPong:   client and server on two threads, one full cycle per iteration

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "orvo2/channel/client_manager.h"
#include "orvo2/channel/server_manager.h"
#include "test_device.h"

namespace Orvo {
namespace {

struct Channel {
  explicit Channel(int count) {
    name = test::unique_channel("bench");
    test::DeviceList sim;
    test::DeviceList robot;
    for (int i = 0; i < count; ++i) {
      sim.push_back(std::make_shared<test::TestDevice>("joint_" + std::to_string(i)));
      robot.push_back(std::make_shared<test::TestDevice>("joint_" + std::to_string(i)));
    }
    server = std::make_unique<ServerManager>(sim, "shm", name);
    client = std::make_unique<ClientManager>(robot, "shm", name);
    if (!client->check_server_alive()) {
      throw std::runtime_error("bench channel did not pair");
    }
  }
  std::string name;
  std::unique_ptr<ServerManager> server;
  std::unique_ptr<ClientManager> client;
};

using Clock = std::chrono::steady_clock;

void FullCycle(benchmark::State& state) {
  Channel c(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    c.client->send();
    c.server->run();
    c.server->send(false);
    benchmark::DoNotOptimize(c.client->recv());
  }
}

void ClientSide(benchmark::State& state) {
  Channel c(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    c.server->run();
    c.server->send(false);
    const auto start = Clock::now();
    c.client->send();
    benchmark::DoNotOptimize(c.client->recv());
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
}

void ServerSide(benchmark::State& state) {
  Channel c(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    c.client->send();
    c.client->recv();
    const auto start = Clock::now();
    benchmark::DoNotOptimize(c.server->run());
    c.server->send(false);
    state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
  }
}

// The server thread answers each client send with run + send; the client
// waits (spinning) for the new frame. Records cross between cores.
void PingPong(benchmark::State& state) {
  Channel c(static_cast<int>(state.range(0)));
  std::atomic<bool> stop{false};
  std::atomic<unsigned long> requests{0};
  std::thread sim([&] {
    unsigned long served = 0;
    while (!stop.load(std::memory_order_relaxed)) {
      if (requests.load(std::memory_order_acquire) != served) {
        ++served;
        c.server->run();
        c.server->send(false);
      }
    }
  });
  for (auto _ : state) {
    c.client->send();
    requests.fetch_add(1, std::memory_order_release);
    while (!c.client->recv()) {
    }
  }
  stop = true;
  sim.join();
}

BENCHMARK(FullCycle)->Arg(1)->Arg(10)->Arg(30)->Arg(100);
BENCHMARK(ClientSide)->Arg(1)->Arg(10)->Arg(30)->Arg(100)->UseManualTime();
BENCHMARK(ServerSide)->Arg(1)->Arg(10)->Arg(30)->Arg(100)->UseManualTime();
BENCHMARK(PingPong)->Arg(1)->Arg(10)->Arg(30)->Arg(100);

}  // namespace
}  // namespace Orvo

BENCHMARK_MAIN();
