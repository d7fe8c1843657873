// Servers that die, leave stale segments or come back, seen from a client;
// and a server in another process changing its records every cycle.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "orvo2/channel/client_manager.h"
#include "orvo2/channel/server_manager.h"
#include "orvo2/context/journal.h"
#include "test_child.h"
#include "test_device.h"

namespace Orvo {
namespace test {
namespace {

using std::chrono::milliseconds;

// Recv until the hip's rx holds a value of the server started at `base`.
bool received_from(ClientManager& client, TestDevice& hip, float base) {
  return cycle_until([&] { return client.recv() && hip.rx_float(0) >= base; }, milliseconds(5000));
}

TEST(ChannelLifecycle, StaleSegmentOfADeadServerIsReplaced) {
  const std::string channel = unique_channel("stale");
  ChildProcess dead([&] {
    // A server that ends without its destructor leaves its segment behind.
    new ServerManager(devices(std::make_shared<TestDevice>("hip")), "shm", channel);
  });
  ASSERT_TRUE(dead.wait_exit(milliseconds(5000)));

  ClientManager client(devices(std::make_shared<TestDevice>("hip")), "shm", channel);
  EXPECT_FALSE(client.check_server_alive()) << "the segment's server is gone";

  JournalCapture journal;
  ServerManager server(devices(std::make_shared<TestDevice>("hip")), "shm", channel);
  EXPECT_TRUE(journal.contains("ServerManager: channel '" + channel + "': replacing the stale shared memory '/orvo2_" +
                               channel + "'"));
  EXPECT_TRUE(client.check_server_alive());
}

TEST(ChannelLifecycle, ClientOutlivesServersAndFollowsTheNextOne) {
  const std::string channel = unique_channel("death");
  const SegmentRemover remover(channel);
  auto hip = std::make_shared<TestDevice>("hip");
  ClientManager client(devices(hip), "shm", channel);

  ChildProcess first([&] { serve_counting(channel, 1000.f); });
  ASSERT_TRUE(cycle_until([&] { return client.check_server_alive(); }, milliseconds(5000)));
  ASSERT_TRUE(received_from(client, *hip, 1000.f));

  // Death noticed while mapped: no new data, no crash, the records stay. The
  // server may have written a frame after the one seen above, before it was
  // killed: that one is still taken.
  first.stop();
  client.recv();
  const float last = hip->rx_float(0);
  for (unsigned i = 0; i < 3 * ClientManager::kLivenessCheckCycles; ++i) {
    client.send();
    ASSERT_FALSE(client.recv());
  }
  EXPECT_EQ(hip->rx_float(0), last);

  // A new server after the client gave the dead one up: found by the periodic attach.
  ChildProcess second([&] { serve_counting(channel, 2000.f); });
  ASSERT_TRUE(received_from(client, *hip, 2000.f));

  // A new server while the client still maps the dead one: it supersedes the old segment.
  second.stop();
  ChildProcess third([&] { serve_counting(channel, 3000.f); });
  ASSERT_TRUE(received_from(client, *hip, 3000.f));
  third.stop();

  // A server closed in order, then another one on the same name.
  {
    auto sim_hip = std::make_shared<TestDevice>("hip");
    ServerManager closing(devices(sim_hip), "shm", channel);
    sim_hip->fill_rx(4000.f);
    closing.send(false);
    ASSERT_TRUE(received_from(client, *hip, 4000.f));
  }
  EXPECT_FALSE(client.recv());
  EXPECT_FALSE(client.send());
  auto sim_hip = std::make_shared<TestDevice>("hip");
  ServerManager reopened(devices(sim_hip), "shm", channel);
  sim_hip->fill_rx(5000.f);
  reopened.send(false);
  EXPECT_TRUE(received_from(client, *hip, 5000.f));
}

// The whole content of a segment, read through its file.
std::vector<unsigned char> segment_bytes(int fd) {
  struct stat info {};
  EXPECT_EQ(::fstat(fd, &info), 0);
  std::vector<unsigned char> bytes(static_cast<std::size_t>(info.st_size));
  EXPECT_EQ(::pread(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
  return bytes;
}

// Cuts the segment to nothing and writes `bytes` as its whole content.
void rewrite(int fd, const std::vector<unsigned char>& bytes) {
  ASSERT_EQ(::ftruncate(fd, 0), 0);
  ASSERT_EQ(::ftruncate(fd, static_cast<off_t>(bytes.size())), 0);
  ASSERT_EQ(::pwrite(fd, bytes.data(), bytes.size(), 0), static_cast<ssize_t>(bytes.size()));
}

TEST(ChannelLifecycle, SegmentTruncatedAndRewrittenUnderAClientIsDroppedUntouched) {
  const std::string channel = unique_channel("cut");
  const std::string small_channel = unique_channel("cut_small");
  DeviceList sim;
  for (int i = 0; i < 4096; ++i) {
    sim.push_back(std::make_shared<TestDevice>("joint_" + std::to_string(i)));
  }
  ServerManager server(sim, "shm", channel);
  ServerManager small(DeviceList(sim.begin(), sim.begin() + 6), "shm", small_channel);
  auto last = std::make_shared<TestDevice>("joint_4095");  // its slots end the big segment
  auto owned_client = std::make_unique<ClientManager>(devices(last), "shm", channel);
  ClientManager& client = *owned_client;
  ASSERT_TRUE(client.check_server_alive());
  server.send(false);
  ASSERT_TRUE(client.recv());

  const int fd = ::shm_open(client.segment_name().c_str(), O_RDWR, 0);
  const int small_fd = ::shm_open(("/orvo2_" + small_channel).c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  ASSERT_GE(small_fd, 0);
  const std::vector<unsigned char> original = segment_bytes(fd);
  // 4096 devices become 6 under the client: its slots now lie past the end.
  rewrite(fd, segment_bytes(small_fd));
  EXPECT_FALSE(client.recv());
  EXPECT_FALSE(client.send());
  EXPECT_FALSE(client.check_server_alive()) << "joint_4095 is not among the 6";

  // And back: the client attaches again and exchanges.
  rewrite(fd, original);
  EXPECT_TRUE(client.check_server_alive());
  server.send(false);
  EXPECT_TRUE(client.recv());
  EXPECT_TRUE(client.send());

  // Cut while the client is destroyed; the server gets its content back.
  ASSERT_EQ(::ftruncate(fd, 0), 0);
  owned_client.reset();
  rewrite(fd, original);
  ::close(fd);
  ::close(small_fd);
}

TEST(ChannelLifecycle, ServerProcessChangesRxEveryCycleWithoutTearing) {
  const std::string channel = unique_channel("twoproc");
  const SegmentRemover remover(channel);
  auto hip = std::make_shared<TestDevice>("hip");
  ClientManager client(devices(hip), "shm", channel);
  ChildProcess server([&] { serve_counting(channel, 1.f); });
  ASSERT_TRUE(cycle_until([&] { return client.check_server_alive(); }, milliseconds(5000)));

  int frames = 0;
  float previous = 0.f;
  bool echoed = false;
  const auto deadline = std::chrono::steady_clock::now() + milliseconds(1500);
  for (int cycle = 1; std::chrono::steady_clock::now() < deadline; ++cycle) {
    if (client.recv()) {
      ++frames;
      const float value = hip->rx_float(0);
      for (int f = 1; f < 10; ++f) {
        ASSERT_EQ(hip->rx_float(f), value) << "torn rx record at float " << f;
      }
      ASSERT_GE(value, previous);
      previous = value;
      echoed = echoed || hip->rx_float(10) > 0.f;
    }
    const float command = static_cast<float>(cycle);
    std::memcpy(hip->tx.data(), &command, 4);
    client.send();
    std::this_thread::sleep_for(std::chrono::microseconds(50));
  }
  server.stop();
  shm::ShmSegment::unlink(client.segment_name());  // the killed server's
  EXPECT_GT(frames, 100);
  EXPECT_TRUE(echoed) << "the server never received a tx record";
}

}  // namespace
}  // namespace test
}  // namespace Orvo
