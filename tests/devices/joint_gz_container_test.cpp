// The simulated-joint driver container against a server on the device
// channel: its three states, the command reset at each new server and its
// notice, and a simulator in another process that changes its records every
// cycle and then dies.
#include <gtest/gtest.h>

#include <sys/mman.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../channel/test_child.h"
#include "devices/device_tpl_common.h"
#include "framework/typed/parameter.h"
#include "framework/typed/topic.h"
#include "orvo2/channel/client_manager.h"
#include "orvo2/channel/server_manager.h"
#include "orvo2/context/context.h"
#include "orvo2/devices/device_container_base.h"
#include "orvo2/devices/device_server.h"
#include "orvo2/devices/joint_base.h"

using namespace Orvo::Hal;
using Orvo::ServerManager;
using Orvo::test::ChildProcess;
using Orvo::test::cycle_until;
using std::chrono::milliseconds;

namespace {

// The simulator's view of a joint: records only.
class SimJoint : public DeviceTplCommon<joint_rx, joint_tx> {
public:
  explicit SimJoint(const std::string& name) : DeviceTplCommon({name, "joint_gz", 0}) {}
  bool sense() override { return true; }
  bool move() override { return true; }
  joint_rx& rx() { return _rx; }
  joint_tx& tx() { return _tx; }
};

// Points the container's client manager at a channel of this test alone.
std::string use_unique_channel(const std::string& what) {
  const std::string channel = "test_joint_gz_" + what + "_" + std::to_string(::getpid());
  Orvo::Context().paramManager().setParam<std::string>("/joint_gz/client_name", channel);
  return channel;
}

joint_tx driver_tx(const DeviceContainerBase& drivers, size_t index) {
  joint_tx tx;
  auto* raw = dynamic_cast<DeviceRt*>(drivers.get_device_base_vector().at(index).get());
  raw->get_tx_raw(reinterpret_cast<unsigned char*>(&tx), sizeof tx);
  return tx;
}

JointBase& joint(const DeviceContainerBase& clients, size_t index) {
  return dynamic_cast<JointBase&>(*clients.get_device_base_vector().at(index));
}

}  // namespace

TEST(JointGzContainer, WaitsConnectsResetsOnceThenRuns) {
  const std::string channel = use_unique_channel("states");
  const std::vector<DeviceInfo> infos{{"hip", "joint_gz", 1}, {"knee", "joint_gz", 2}};
  auto drivers = DeviceContainerBase::MakeDriver("joint_gz", infos);
  auto clients = DeviceContainerBase::MakeClient("joint_gz", infos);
  std::vector<uint64_t> servers;  // the notices of the server whose records the drivers hold
  auto notices = Orvo::Context().topicManager().subscribe<DeviceServer>(
      ServerTopicName("joint_gz"), [&servers](const DeviceServer& notice) { servers.push_back(notice.generation); },
      nullptr, 20, "test");

  // Waiting for the simulator: nothing moves.
  for (int cycle = 0; cycle < 3; ++cycle) {
    EXPECT_FALSE(drivers->sense_all());
    EXPECT_FALSE(drivers->move_all());
  }

  auto hip = std::make_shared<SimJoint>("hip");
  auto knee = std::make_shared<SimJoint>("knee");
  auto server = std::make_unique<ServerManager>(std::vector<std::shared_ptr<DeviceRt>>{hip, knee}, "shm", channel);
  hip->rx().link_pos = 0.5f;
  hip->rx().stiffness = 100.0f;
  hip->rx().damping = 5.0f;
  ASSERT_TRUE(server->send(false));

  // The check succeeds, yet this cycle still returns false; nothing is sent.
  EXPECT_FALSE(drivers->sense_all());
  EXPECT_FALSE(drivers->move_all());
  EXPECT_FALSE(server->run());

  // First receive: every command is reset from the sensed state, then published.
  EXPECT_TRUE(drivers->sense_all());
  const joint_tx reset = driver_tx(*drivers, 0);
  EXPECT_EQ(reset.pos_ref, 0.5f);
  EXPECT_EQ(reset.vel_ref, 0.0f);
  EXPECT_EQ(reset.stiffness, 100.0f);
  EXPECT_EQ(reset.damping, 5.0f);
  EXPECT_EQ(reset.mask, 0xFF);
  EXPECT_TRUE(clients->sense_all());
  EXPECT_EQ(joint(*clients, 0).get_link_pos(), 0.5);

  // Running: the reset commands reach the simulator.
  EXPECT_TRUE(drivers->move_all());
  ASSERT_TRUE(server->run());
  EXPECT_EQ(hip->tx().pos_ref, 0.5f);
  EXPECT_EQ(hip->tx().stiffness, 100.0f);
  EXPECT_EQ(hip->tx().mask, 0xFF);

  // A client command travels; a later receive resets nothing.
  joint(*clients, 0).set_pos_ref(1.25);
  EXPECT_TRUE(clients->move_all());
  hip->rx().link_pos = 2.0f;
  ASSERT_TRUE(server->send(false));
  EXPECT_TRUE(drivers->sense_all());
  EXPECT_TRUE(drivers->move_all());
  ASSERT_TRUE(server->run());
  EXPECT_EQ(hip->tx().pos_ref, 1.25f);
  EXPECT_EQ(hip->tx().mask, joint_tx::POS_REF) << "the client's own record";

  // Nothing new from the simulator: no publish, but commands still go out.
  EXPECT_FALSE(drivers->sense_all());
  EXPECT_TRUE(clients->sense_all()) << "the last rx was published in the cycle before";
  EXPECT_FALSE(clients->sense_all()) << "nothing published by the failed cycle";
  joint(*clients, 0).set_pos_ref(3.0);
  EXPECT_TRUE(clients->move_all());
  EXPECT_TRUE(drivers->move_all());
  ASSERT_TRUE(server->run());
  EXPECT_EQ(hip->tx().pos_ref, 3.0f);

  // A new simulator: its first commands are reset from its own sensed state,
  // as at the first connection, not the last ones of its predecessor.
  server.reset();
  auto new_hip = std::make_shared<SimJoint>("hip");
  auto new_knee = std::make_shared<SimJoint>("knee");
  new_hip->rx().link_pos = -0.75f;
  server = std::make_unique<ServerManager>(std::vector<std::shared_ptr<DeviceRt>>{new_hip, new_knee}, "shm",
                                           channel);
  bool sensed = false;
  for (unsigned cycle = 0; cycle < 3 * Orvo::ClientManager::kLivenessCheckCycles && !sensed; ++cycle) {
    ASSERT_TRUE(server->send(false));
    sensed = drivers->sense_all();
    if (!sensed) {
      EXPECT_TRUE(drivers->move_all());
      EXPECT_FALSE(server->run()) << "a command before the reset";
    }
  }
  ASSERT_TRUE(sensed);
  EXPECT_EQ(driver_tx(*drivers, 0).pos_ref, -0.75f);
  // A command the client sent for the old simulator's state is not the new one's first.
  joint(*clients, 0).set_pos_ref(3.0);
  EXPECT_TRUE(clients->move_all());
  EXPECT_TRUE(drivers->move_all());
  ASSERT_TRUE(server->run());
  EXPECT_EQ(new_hip->tx().pos_ref, -0.75f);
  EXPECT_EQ(new_hip->tx().mask, 0xFF);
  notices->run();
  ASSERT_EQ(servers.size(), 3u);
  EXPECT_NE(servers[0], 0u);
  EXPECT_EQ(servers[1], 0u) << "the old simulator is gone";
  EXPECT_NE(servers[2], 0u);
  EXPECT_NE(servers[2], servers[0]);
}

TEST(JointGzContainer, SimulatorInAnotherProcess) {
  const std::string channel = use_unique_channel("process");
  const Orvo::test::SegmentRemover remover(channel);
  const std::vector<DeviceInfo> infos{{"hip", "joint_gz", 1}};

  // The simulator: link_pos counts cycles, damping echoes the commanded pos_ref.
  ChildProcess simulator([&] {
    auto hip = std::make_shared<SimJoint>("hip");
    ServerManager server({hip}, "shm", channel);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    for (int cycle = 1; ChildProcess::parent_alive() && std::chrono::steady_clock::now() < deadline;
         ++cycle) {
      server.run();
      hip->rx().link_pos = float(cycle);
      hip->rx().damping = hip->tx().pos_ref;
      server.send(false);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
  });

  auto drivers = DeviceContainerBase::MakeDriver("joint_gz", infos);
  auto clients = DeviceContainerBase::MakeClient("joint_gz", infos);
  JointBase& hip = joint(*clients, 0);
  auto cycle = [&] {
    const bool sensed = drivers->sense_all();
    clients->sense_all();
    clients->move_all();
    drivers->move_all();
    return sensed;
  };

  ASSERT_TRUE(cycle_until(cycle, milliseconds(5000))) << "no rx from the simulator";
  ASSERT_TRUE(cycle_until([&] { return cycle() && hip.get_link_pos() > 10.0; }, milliseconds(5000)));

  hip.set_pos_ref(4.25);
  ASSERT_TRUE(cycle_until([&] { return cycle() && hip.get_damping() == 4.25; }, milliseconds(5000)))
      << "the command did not come back";

  // The simulator dies: the container keeps cycling, sensing nothing.
  simulator.stop();
  const double last = hip.get_link_pos();
  int sensed = 0;
  for (int i = 0; i < 600; ++i) {
    sensed += cycle() ? 1 : 0;
    EXPECT_TRUE(drivers->move_all());
  }
  EXPECT_LE(sensed, 1) << "at most a frame in flight at the kill";
  EXPECT_GE(hip.get_link_pos(), last);
  // A killed server leaves its segment behind.
  ::shm_unlink(("/orvo2_" + channel).c_str());
}

TEST(JointGzContainer, UnknownTransportLeavesTheFactory) {
  use_unique_channel("transport");
  auto& params = Orvo::Context().paramManager();
  params.setParam<std::string>("/client_manager/transport", "carrier_pigeon");
  EXPECT_THROW(DeviceContainerBase::MakeDriver("joint_gz", {{"hip", "joint_gz", 1}}), std::runtime_error);
  params.setParam<std::string>("/client_manager/transport", "shm");
  EXPECT_NO_THROW(DeviceContainerBase::MakeDriver("joint_gz", {{"hip", "joint_gz", 1}}));
}
