// Pairing of a client's devices with a server's table, and the refusals.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <grp.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <stdexcept>
#include <thread>

#include "orvo2/channel/client_manager.h"
#include "orvo2/channel/server_manager.h"
#include "orvo2/channel/shm_channel_layout.h"
#include "orvo2/channel/shm_segment.h"
#include "orvo2/context/journal.h"
#include "test_child.h"
#include "test_device.h"

namespace Orvo {
namespace test {
namespace {

using ::testing::HasSubstr;

std::string throw_text(const std::function<void()>& make) {
  try {
    make();
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no exception";
}

TEST(ChannelPairing, ClientPairsWithASubsetOfTheServerTable) {
  const std::string channel = unique_channel("pair");
  ClientManager client(devices(std::make_shared<TestDevice>("knee")), "shm", channel);
  EXPECT_FALSE(client.check_server_alive()) << "no server yet";
  EXPECT_FALSE(client.recv());
  EXPECT_FALSE(client.send());

  ServerManager server(devices(std::make_shared<TestDevice>("hip"), std::make_shared<TestDevice>("knee")), "shm",
                       channel);
  EXPECT_TRUE(client.check_server_alive());
  EXPECT_TRUE(client.check_server_alive());
  EXPECT_EQ(client.segment_name(), "/orvo2_" + channel);
}

TEST(ChannelPairing, UnknownDeviceIsRefusedOnceWithItsName) {
  const std::string channel = unique_channel("unknown");
  JournalCapture journal;
  auto server_device = std::make_shared<TestDevice>("hip");
  ServerManager server(devices(server_device), "shm", channel);
  auto ghost = std::make_shared<TestDevice>("ghost");
  ClientManager client(devices(std::make_shared<TestDevice>("hip"), ghost), "shm", channel);
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(client.check_server_alive());
  }
  const std::string text = "ClientManager: channel '" + channel +
                           "': device 'ghost' of type 'joint_test' is not served by process " +
                           std::to_string(::getpid()) + "; nothing is exchanged";
  EXPECT_EQ(journal.count(text), 1);

  // Nothing crosses in either direction.
  server_device->fill_rx(7.f);
  server.send(false);
  EXPECT_FALSE(client.recv());
  EXPECT_FALSE(client.send());
  EXPECT_FALSE(server.run());
}

TEST(ChannelPairing, SizeMismatchIsRefusedWithBothSizes) {
  const std::string channel = unique_channel("size");
  JournalCapture journal;
  ServerManager server(devices(std::make_shared<TestDevice>("hip"), std::make_shared<TestDevice>("knee")), "shm",
                       channel);
  ClientManager client(devices(std::make_shared<TestDevice>("hip"), std::make_shared<TestDevice>("knee", 40, 24)),
                       "shm", channel);
  EXPECT_FALSE(client.check_server_alive());
  EXPECT_FALSE(client.check_server_alive());
  EXPECT_EQ(journal.count("ClientManager: channel '" + channel +
                          "': device 'knee' record sizes differ: rx 40 bytes here and 44 on the server, "
                          "tx 24 bytes here and 24 on the server; nothing is exchanged"),
            1);
  // Only the tx record larger: the client would write past the server's slot.
  ClientManager wider_tx(devices(std::make_shared<TestDevice>("hip"), std::make_shared<TestDevice>("knee", 44, 32)),
                         "shm", channel);
  EXPECT_FALSE(wider_tx.check_server_alive());
  EXPECT_EQ(journal.count("ClientManager: channel '" + channel +
                          "': device 'knee' record sizes differ: rx 44 bytes here and 44 on the server, "
                          "tx 32 bytes here and 24 on the server; nothing is exchanged"),
            1);

  // A device of another type under the same name does not pair either.
  ClientManager other_type(devices(std::make_shared<TestDevice>("hip", 44, 24, "imu_test")), "shm", channel);
  EXPECT_FALSE(other_type.check_server_alive());
  EXPECT_TRUE(journal.contains("device 'hip' of type 'imu_test' is not served"));
}

TEST(ChannelPairing, DeviceListedTwiceInTheServerTableIsRefused) {
  const std::string channel = unique_channel("twice");
  JournalCapture journal;
  ServerManager server(devices(std::make_shared<TestDevice>("hip"), std::make_shared<TestDevice>("knee", 100, 8)),
                       "shm", channel);
  // A corrupt server table: the second entry names the first device again.
  shm::ShmSegment segment;
  ASSERT_EQ(segment.open_existing("/orvo2_" + channel), 0);
  auto* table = reinterpret_cast<shm::DeviceEntry*>(segment.data() + shm::table_offset());
  std::strcpy(table[1].name, "hip");

  ClientManager client(devices(std::make_shared<TestDevice>("hip")), "shm", channel);
  EXPECT_FALSE(client.check_server_alive());
  EXPECT_FALSE(client.check_server_alive());
  EXPECT_EQ(journal.count("ClientManager: channel '" + channel +
                          "': device 'hip' of type 'joint_test' is listed twice by process " +
                          std::to_string(::getpid()) + "; nothing is exchanged"),
            1);
}

TEST(ChannelPairing, BadConfigurationThrowsNamingTheInput) {
  const std::string channel = unique_channel("config");
  auto make_client = [&](const std::string& transport, const std::string& name) {
    ClientManager client(devices(std::make_shared<TestDevice>("hip")), transport, name);
  };
  EXPECT_THAT(throw_text([&] { make_client("udp", channel); }),
              HasSubstr("ClientManager: unsupported transport 'udp'"));
  EXPECT_THAT(throw_text([&] { ServerManager server({}, "mq", channel); }),
              HasSubstr("ServerManager: unsupported transport 'mq'"));
  EXPECT_THAT(throw_text([&] { make_client("shm", "a/b"); }), HasSubstr("invalid channel name 'a/b'"));
  EXPECT_THAT(throw_text([&] { make_client("shm", ""); }), HasSubstr("invalid channel name ''"));

  const std::string long_name(64, 'n');
  EXPECT_THAT(throw_text([&] { ServerManager server(devices(std::make_shared<TestDevice>(long_name)), "shm", channel); }),
              HasSubstr("device name '" + long_name + "' has 64 characters, at most 63 fit"));
  EXPECT_THAT(
      throw_text([&] { ServerManager server(devices(std::make_shared<TestDevice>("hip", 44, 24, std::string(32, 't'))), "shm", channel); }),
      HasSubstr("at most 31 fit"));

  EXPECT_THAT(throw_text([&] {
                ServerManager server(devices(std::make_shared<TestDevice>("hip"), std::make_shared<TestDevice>("hip")),
                                     "shm", channel);
              }),
              HasSubstr("device 'hip' of type 'joint_test' is listed twice"));

  // A refused server leaves no segment behind, and a live one keeps its name.
  ServerManager server({}, "shm", channel);
  EXPECT_THAT(throw_text([&] { ServerManager second({}, "shm", channel); }),
              HasSubstr("channel '" + channel + "' is already served by process " + std::to_string(::getpid())));
  ClientManager client({}, "shm", channel);
  EXPECT_TRUE(client.check_server_alive());
}

TEST(ChannelPairing, SegmentOthersMayOpenIsRefusedByBothEnds) {
  const std::string channel = unique_channel("mode");
  const std::string segment_file = "/dev/shm/orvo2_" + channel;
  JournalCapture journal;
  const mode_t umask_before = ::umask(0277);
  ServerManager server(devices(std::make_shared<TestDevice>("hip")), "shm", channel);
  ::umask(umask_before);
  struct stat info {};
  ASSERT_EQ(::stat(segment_file.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u) << "whatever the umask";

  // As another user's server would leave it: open to its group, to all
  // others, or to both.
  const std::string uid = std::to_string(::geteuid());
  for (const auto& [mode, text] : {std::pair<mode_t, const char*>{0660, "0660"}, {0606, "0606"}, {0666, "0666"}}) {
    ASSERT_EQ(::chmod(segment_file.c_str(), mode), 0);
    ClientManager client(devices(std::make_shared<TestDevice>("hip")), "shm", channel);
    for (int i = 0; i < 3; ++i) {
      EXPECT_FALSE(client.check_server_alive()) << text;
    }
    EXPECT_EQ(journal.count("ClientManager: channel '" + channel + "': shared memory '/orvo2_" + channel +
                            "' refused: owner uid " + uid + ", mode " + text + "; only segments of uid " + uid +
                            " without group or other access are used"),
              1);
  }
  EXPECT_THAT(throw_text([&] { ServerManager second(devices(std::make_shared<TestDevice>("hip")), "shm", channel); }),
              HasSubstr("ServerManager: channel '" + channel + "': shared memory '/orvo2_" + channel +
                        "' is held by a segment of owner uid " + uid + " with mode 0666"));
}

// Mode 0600 keeps other users out, but not root: a segment that another
// user's server made is that user's records, and a client run as root must
// not take them.
TEST(ChannelPairing, SegmentOfAnotherUserIsRefused) {
  if (::geteuid() != 0) {
    GTEST_SKIP() << "a segment of another user can be opened only as root";
  }
  constexpr uid_t other_user = 65534;
  const std::string channel = unique_channel("owner");
  SegmentRemover remover(channel);
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  ChildProcess server([&] {
    if (::setgroups(0, nullptr) != 0 || ::setgid(other_user) != 0 || ::setuid(other_user) != 0) {
      return;
    }
    ServerManager manager(devices(std::make_shared<TestDevice>("hip")), "shm", channel);
    const char served = 1;
    if (::write(ready[1], &served, 1) != 1) {
      return;
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (ChildProcess::parent_alive() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  ::close(ready[1]);
  pollfd served{ready[0], POLLIN, 0};
  char byte = 0;
  const bool serving = ::poll(&served, 1, 10000) == 1 && ::read(ready[0], &byte, 1) == 1;
  ::close(ready[0]);
  ASSERT_TRUE(serving) << "no server of user " << other_user;

  JournalCapture journal;
  ClientManager client(devices(std::make_shared<TestDevice>("hip")), "shm", channel);
  for (int i = 0; i < 3; ++i) {
    EXPECT_FALSE(client.check_server_alive());
  }
  EXPECT_EQ(journal.count("ClientManager: channel '" + channel + "': shared memory '/orvo2_" + channel +
                          "' refused: owner uid 65534, mode 0600; only segments of uid 0 without group or "
                          "other access are used"),
            1);
}

TEST(ChannelPairing, DeviceCountChangingWhileAClientPairsNeverMovesSlotsOutOfTheSegment) {
  const std::string channel = unique_channel("flip");
  DeviceList sim;
  DeviceList robot;
  for (int i = 0; i < 6; ++i) {
    sim.push_back(std::make_shared<TestDevice>("joint_" + std::to_string(i)));
    robot.push_back(std::make_shared<TestDevice>("joint_" + std::to_string(i)));
  }
  ServerManager server(sim, "shm", channel);
  shm::ShmSegment segment;
  ASSERT_EQ(segment.open_existing("/orvo2_" + channel), 0);
  auto* header = reinterpret_cast<shm::ChannelHeader*>(segment.data());
  std::atomic<bool> done{false};
  std::thread flipper([&] {
    // As another writer of the segment could: 6 and 4096 devices in turn.
    auto* count = reinterpret_cast<volatile std::uint32_t*>(&header->device_count);
    while (!done.load(std::memory_order_relaxed)) {
      *count = 4096;
      *count = 6;
    }
  });
  ClientManager client(robot, "shm", channel);
  int attached = 0;
  for (int i = 0; i < 20000; ++i) {
    if (client.check_server_alive()) {
      ++attached;
      client.send();  // writes every tx slot the pairing located
    }
    header->state.store(shm::Superseded);  // the client lets go and pairs afresh
    client.recv();
    header->state.store(shm::Serving);
  }
  done = true;
  flipper.join();
  EXPECT_GT(attached, 0);
}

TEST(ChannelPairing, OneClientHoldsTheChannelAtATime) {
  const std::string channel = unique_channel("claim");
  JournalCapture journal;
  ServerManager server(devices(std::make_shared<TestDevice>("hip")), "shm", channel);
  auto first = std::make_unique<ClientManager>(devices(std::make_shared<TestDevice>("hip")), "shm", channel);
  ClientManager second(devices(std::make_shared<TestDevice>("hip")), "shm", channel);
  ASSERT_TRUE(first->check_server_alive());
  EXPECT_FALSE(second.check_server_alive());
  EXPECT_TRUE(journal.contains("ClientManager: channel '" + channel + "' already has a client in process"));
  first.reset();
  EXPECT_TRUE(second.check_server_alive());
}

}  // namespace
}  // namespace test
}  // namespace Orvo
