// The cycle of both managers allocates nothing: steady exchange, and a client
// that loses its server and attaches to the next one.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "orvo2/channel/client_manager.h"
#include "orvo2/channel/server_manager.h"
#include "test_device.h"

namespace {
std::atomic<long> g_allocations{0};
}  // namespace

void* operator new(std::size_t size) {
  g_allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size == 0 ? 1 : size)) {
    return p;
  }
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace Orvo {
namespace test {
namespace {

TEST(ChannelAllocation, CyclesAllocateNothing) {
  const std::string channel = unique_channel("alloc");
  const long at_start = g_allocations.load();
  DeviceList sim;
  DeviceList robot;
  for (int i = 0; i < 10; ++i) {
    sim.push_back(std::make_shared<TestDevice>("joint_" + std::to_string(i)));
    robot.push_back(std::make_shared<TestDevice>("joint_" + std::to_string(i)));
  }
  auto server = std::make_unique<ServerManager>(sim, "shm", channel);
  ClientManager client(robot, "shm", channel);
  ASSERT_TRUE(client.check_server_alive());
  ASSERT_GT(g_allocations.load(), at_start) << "the counter sees the managers' set-up";

  long before = g_allocations.load();
  for (int i = 0; i < 1000; ++i) {
    client.send();
    server->run();
    server->send(false);
    ASSERT_TRUE(client.recv());
  }
  EXPECT_EQ(g_allocations.load() - before, 0) << "steady cycle";

  server.reset();
  server = std::make_unique<ServerManager>(sim, "shm", channel);
  server->send(false);
  before = g_allocations.load();
  EXPECT_FALSE(client.recv()) << "the closed server is dropped and the new one attached";
  EXPECT_TRUE(client.recv());
  EXPECT_EQ(g_allocations.load() - before, 0) << "re-attach in the cycle";
}

}  // namespace
}  // namespace test
}  // namespace Orvo
