// Records crossing the channel in both directions, within one process.

#include <gtest/gtest.h>

#include <cstring>

#include "orvo2/channel/client_manager.h"
#include "orvo2/channel/server_manager.h"
#include "orvo2/channel/shm_channel_layout.h"
#include "orvo2/channel/shm_segment.h"
#include "test_device.h"

namespace Orvo {
namespace test {
namespace {

struct Pair {
  std::vector<std::shared_ptr<TestDevice>> sim;
  std::vector<std::shared_ptr<TestDevice>> robot;
};

TEST(ChannelExchange, RecordsCrossBothWaysForEveryDevice) {
  const std::string channel = unique_channel("exchange");
  Pair p;
  for (const char* name : {"hip", "knee", "ankle"}) {
    p.sim.push_back(std::make_shared<TestDevice>(name));
    p.robot.push_back(std::make_shared<TestDevice>(name));
  }
  ServerManager server(DeviceList(p.sim.begin(), p.sim.end()), "shm", channel);
  // The client lists its devices in another order: pairing is by name.
  ClientManager client(devices(p.robot[2], p.robot[0], p.robot[1]), "shm", channel);
  ASSERT_TRUE(client.check_server_alive());
  EXPECT_FALSE(client.recv()) << "nothing sent yet";
  EXPECT_FALSE(server.run()) << "nothing sent yet";

  for (int cycle = 1; cycle <= 3; ++cycle) {
    for (size_t i = 0; i < p.sim.size(); ++i) {
      p.sim[i]->fill_rx(static_cast<float>(cycle * 10 + i));
    }
    EXPECT_TRUE(server.send(false));
    ASSERT_TRUE(client.recv());
    EXPECT_FALSE(client.recv()) << "the same frame is not delivered twice";
    for (size_t i = 0; i < p.robot.size(); ++i) {
      EXPECT_EQ(std::memcmp(p.robot[i]->rx.data(), p.sim[i]->rx.data(), 44), 0) << "device " << i;
    }

    for (size_t i = 0; i < p.robot.size(); ++i) {
      std::memset(p.robot[i]->tx.data(), 0x40 + cycle * 4 + static_cast<int>(i), 24);
    }
    EXPECT_TRUE(client.send());
    ASSERT_TRUE(server.run());
    EXPECT_FALSE(server.run()) << "the same frame is not taken twice";
    for (size_t i = 0; i < p.sim.size(); ++i) {
      EXPECT_EQ(std::memcmp(p.sim[i]->tx.data(), p.robot[i]->tx.data(), 21), 0) << "device " << i;
      for (int b = 21; b < 24; ++b) {
        EXPECT_EQ(p.sim[i]->tx[b], 0) << "padding byte " << b << " travelled for device " << i;
      }
    }
  }
}

TEST(ChannelExchange, FrameWhoseSlotCouldNotBeReadIsReadAgain) {
  const std::string channel = unique_channel("unread");
  auto hip = std::make_shared<TestDevice>("hip");
  auto robot_hip = std::make_shared<TestDevice>("hip");
  ServerManager server(devices(hip), "shm", channel);
  ClientManager client(devices(robot_hip), "shm", channel);
  ASSERT_TRUE(client.check_server_alive());
  shm::ShmSegment segment;
  ASSERT_EQ(segment.open_existing("/orvo2_" + channel), 0);
  auto* rx_slot = reinterpret_cast<shm::SlotHeader*>(segment.data() + shm::slots_offset(1));

  hip->fill_rx(5.f);
  ASSERT_TRUE(server.send(false));
  rx_slot->seq.fetch_add(1);  // as a writer caught in the middle of its copy leaves it
  EXPECT_FALSE(client.recv());
  rx_slot->seq.fetch_add(1);
  ASSERT_TRUE(client.recv()) << "the frame is still there to be read";
  EXPECT_EQ(robot_hip->rx_float(0), 5.f);
}

TEST(ChannelExchange, ServerKeepsTxOfDevicesTheClientDoesNotDrive) {
  const std::string channel = unique_channel("subset");
  auto hip = std::make_shared<TestDevice>("hip");
  auto knee = std::make_shared<TestDevice>("knee");
  std::memset(knee->tx.data(), 0x11, 21);  // e.g. gains set by the simulator side
  ServerManager server(devices(hip, knee), "shm", channel);
  auto robot_hip = std::make_shared<TestDevice>("hip");
  ClientManager client(devices(robot_hip), "shm", channel);
  ASSERT_TRUE(client.check_server_alive());
  robot_hip->tx[0] = 0x22;
  ASSERT_TRUE(client.send());
  ASSERT_TRUE(server.run());
  EXPECT_EQ(hip->tx[0], 0x22);
  EXPECT_EQ(knee->tx[0], 0x11) << "a slot the client never wrote must not overwrite the device";
}

TEST(ChannelExchange, EmptyDeviceListsStillExchangeFrames) {
  const std::string channel = unique_channel("empty");
  ServerManager server({}, "shm", channel);
  ClientManager client({}, "shm", channel);
  ASSERT_TRUE(client.check_server_alive());
  EXPECT_FALSE(client.recv());
  server.send(false);
  EXPECT_TRUE(client.recv());
  EXPECT_TRUE(client.send());
  EXPECT_TRUE(server.run());
}

}  // namespace
}  // namespace test
}  // namespace Orvo
