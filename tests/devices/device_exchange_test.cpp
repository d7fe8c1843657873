// Driver and client templates meeting on a device's two topics: commands
// reach the driver at its next move, sensed records the client at its next
// sense; counts, stamps and results follow. A pair made by a device pairing
// still shows every record on its topics.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <ctime>
#include <thread>
#include <vector>

#include "devices/device_client_tpl.h"
#include "devices/device_driver_tpl.h"
#include "devices/device_pairing.h"
#include "devices/sensor_records.h"
#include "framework/typed/topic.h"
#include "orvo2/devices/joint_api.h"
#include "orvo2/topics/topic.h"

using namespace Orvo::Hal;

namespace {

using JointDriver = DeviceDriverTpl<joint_rx, joint_tx>;
using JointClientTpl = DeviceClientTpl<joint_rx, joint_tx>;

class ProbeDriver : public JointDriver {
public:
  using JointDriver::JointDriver;
  bool sense_impl() override { return sense_ok; }
  int32_t count() const { return _tx_recv_count; }
  int64_t stamp() const { return _tx_recv_stamp; }
  joint_rx& rx() { return _rx; }
  bool sense_ok = true;
};

class ProbeClient : public JointClientTpl {
public:
  using JointClientTpl::JointClientTpl;
  bool sense_impl() override {
    ++sense_impl_calls;
    return true;
  }
  joint_tx& tx() { return _tx; }
  int sense_impl_calls = 0;
};

int64_t monotonic_ns() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

joint_tx command(float pos) {
  joint_tx tx;
  tx.pos_ref = pos;
  tx.vel_ref = -0.25f;
  tx.tor_ref = 3.0f;
  tx.stiffness = 200.0f;
  tx.damping = 10.0f;
  tx.mask = joint_tx::POS_REF;
  return tx;
}

}  // namespace

TEST(DeviceExchange, CommandsReachTheDriverAtItsNextMove) {
  const DeviceInfo info{"cmd_joint", "joint_test", 1};
  ProbeDriver driver(info);
  ProbeClient client(info);

  // Nothing published yet: the driver keeps its zero command.
  EXPECT_FALSE(driver.move());
  EXPECT_EQ(driver.count(), 0);
  EXPECT_EQ(driver.stamp(), 0);
  EXPECT_EQ(driver.tx_record().pos_ref, 0.0f);

  client.tx() = command(1.0f);
  ASSERT_TRUE(client.move());
  client.tx() = command(2.0f);
  ASSERT_TRUE(client.move());
  EXPECT_EQ(driver.tx_record().pos_ref, 0.0f) << "delivered only inside move()";

  const int64_t before = monotonic_ns();
  EXPECT_TRUE(driver.move());
  const int64_t after = monotonic_ns();
  EXPECT_EQ(driver.count(), 2) << "each delivered command is counted";
  EXPECT_EQ(driver.tx_record().pos_ref, 2.0f) << "the last one wins";
  EXPECT_EQ(driver.tx_record().damping, 10.0f);
  EXPECT_EQ(driver.tx_record().mask, joint_tx::POS_REF);
  EXPECT_GE(driver.stamp(), before);
  EXPECT_LE(driver.stamp(), after);

  // No new command: false, and the last command stays.
  EXPECT_FALSE(driver.move());
  EXPECT_EQ(driver.tx_record().pos_ref, 2.0f);
  EXPECT_EQ(driver.count(), 2);
}

TEST(DeviceExchange, SensedRecordsReachTheClientAtItsNextSense) {
  const DeviceInfo info{"rx_joint", "joint_test", 2};
  ProbeDriver driver(info);
  ProbeClient client(info);

  EXPECT_FALSE(client.sense());
  EXPECT_EQ(client.sense_impl_calls, 1) << "sense_impl runs also when nothing arrived";

  driver.rx().link_pos = 0.75f;
  driver.rx().damping = 5.0f;
  ASSERT_TRUE(driver.sense());
  EXPECT_EQ(client.rx_record().link_pos, 0.0f);
  EXPECT_TRUE(client.sense());
  EXPECT_EQ(client.rx_record().link_pos, 0.75f);
  EXPECT_EQ(client.rx_record().damping, 5.0f);

  // A failing sense_impl publishes nothing.
  driver.sense_ok = false;
  driver.rx().link_pos = 9.0f;
  EXPECT_FALSE(driver.sense());
  EXPECT_FALSE(client.sense());
  EXPECT_EQ(client.rx_record().link_pos, 0.75f) << "kept when nothing new arrived";
}

TEST(DeviceExchange, ManyCyclesNeverRunOutOfLoans) {
  const DeviceInfo info{"loop_joint", "joint_test", 3};
  ProbeDriver driver(info);
  ProbeClient client(info);
  for (int cycle = 0; cycle < 1000; ++cycle) {
    driver.rx().link_pos = float(cycle);
    ASSERT_TRUE(driver.sense());
    ASSERT_TRUE(client.sense()) << "cycle " << cycle;
    ASSERT_EQ(client.rx_record().link_pos, float(cycle));
    client.tx() = command(float(cycle));
    ASSERT_TRUE(client.move());
    ASSERT_TRUE(driver.move()) << "cycle " << cycle;
    ASSERT_EQ(driver.tx_record().pos_ref, float(cycle));
  }
  EXPECT_EQ(driver.count(), 1000);
}

TEST(DeviceExchange, TopicOfAnotherRecordTypeRefusesTheDevice) {
  const DeviceInfo info{"clash", "joint_test", 4};
  auto other = Orvo::Context().topicManager().advertise<ft_rx>(
      DeviceRt::RxTopicName(info.type, info.name), ft_rx{}, "test");
  ASSERT_TRUE(other);
  EXPECT_THROW(JointDriver driver(info), Orvo::TopicBadType);
  EXPECT_THROW(JointClientTpl client(info), Orvo::TopicBadType);
}

TEST(JointApi, SettersMarkTheMaskAndTravelOnTheTopics) {
  const DeviceInfo info{"api_joint", "joint_test", 5};
  ProbeDriver driver(info);
  JointApi api(info);

  api.set_pos_ref(1.5);
  EXPECT_EQ(api.get_tx().mask, joint_tx::POS_REF);
  api.set_vel_ref(-0.5);
  api.set_tor_ref(2.0);
  api.set_stiffness_ref(300.0);
  api.set_damping_ref(7.0);
  EXPECT_EQ(api.get_tx().mask, 31);
  EXPECT_EQ(api.get_tx().stiffness, 300.0f);
  ASSERT_TRUE(api.move());
  ASSERT_TRUE(driver.move());
  EXPECT_EQ(driver.tx_record().pos_ref, 1.5f);
  EXPECT_EQ(driver.tx_record().vel_ref, -0.5f);
  EXPECT_EQ(driver.tx_record().damping, 7.0f);
  EXPECT_EQ(driver.tx_record().mask, 31);

  EXPECT_FALSE(api.sense());
  driver.rx() = joint_rx{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 40.0f, 1.0f, 2.0f, 3.0f, 4.0f, 5.0f};
  ASSERT_TRUE(driver.sense());
  ASSERT_TRUE(api.sense());
  EXPECT_DOUBLE_EQ(api.get_link_pos(), double(0.1f));
  EXPECT_DOUBLE_EQ(api.get_motor_vel(), double(0.4f));
  EXPECT_DOUBLE_EQ(api.get_tor(), double(0.5f));
  EXPECT_DOUBLE_EQ(api.get_temp(), 40.0);
  EXPECT_DOUBLE_EQ(api.get_pos_ref(), 1.0);
  EXPECT_DOUBLE_EQ(api.get_tor_ref(), 3.0);
  EXPECT_DOUBLE_EQ(api.get_stiffness(), 4.0);
  EXPECT_DOUBLE_EQ(api.get_damping_ref(), 5.0);
}

TEST(JointApi, DetachedJointTouchesNoTopic) {
  const DeviceInfo info{"detached_joint", "joint_test", 6};
  ProbeDriver driver(info);
  JointApi api(info, JointApi::Topics::Detach);
  api.set_pos_ref(1.0);
  EXPECT_TRUE(api.move());
  EXPECT_FALSE(driver.move());
  ASSERT_TRUE(driver.sense());
  EXPECT_FALSE(api.sense());
  joint_rx rx{};
  rx.link_pos = 2.5f;
  api.set_rx(rx);
  EXPECT_DOUBLE_EQ(api.get_link_pos(), 2.5);
}

TEST(DeviceExchange, PairedJointShowsEveryRecordToSubscribersOfAnotherThread) {
  const DeviceInfo info{"paired_joint", "joint_test", 7};
  DevicePairing pairing;
  ProbeDriver driver(info);
  JointApi api(info);
  ASSERT_EQ(pairing.pair(), 1u);

  // Subscribed and drained in this thread while another drives the pair.
  constexpr int kCycles = 300;
  std::vector<joint_rx> rx_seen;
  std::vector<joint_tx> tx_seen;
  auto& topics = Orvo::Context().topicManager();
  auto rx_sub = topics.subscribe<joint_rx>(
      DeviceRt::RxTopicName(info.type, info.name), [&](const joint_rx& rx) { rx_seen.push_back(rx); },
      nullptr, kCycles, "probe");
  auto tx_sub = topics.subscribe<joint_tx>(
      DeviceRt::TxTopicName(info.type, info.name), [&](const joint_tx& tx) { tx_seen.push_back(tx); },
      nullptr, kCycles, "probe");

  // One cycle of the pair's thread; what each end took.
  std::vector<joint_rx> rx_taken;
  std::vector<joint_tx> tx_taken;
  auto cycle = [&](int k) {
    float* fields = &driver.rx().link_pos;
    for (int f = 0; f < 11; ++f) {
      fields[f] = float(k) + 0.25f * float(f);
    }
    driver.sense();
    if (api.sense()) {
      rx_taken.push_back(api.get_rx());
    }
    api.set_pos_ref(k);
    api.set_tor_ref(-k);
    api.move();
    if (driver.move()) {
      tx_taken.push_back(driver.tx_record());
    }
  };
  std::atomic<bool> done{false};
  std::thread worker([&] {
    for (int k = 0; k < kCycles; ++k) {
      cycle(k);
    }
    done.store(true);
  });
  while (!done.load()) {
    rx_sub->run();
    tx_sub->run();
    std::this_thread::yield();
  }
  worker.join();
  rx_sub->run();
  tx_sub->run();

  ASSERT_EQ(rx_taken.size(), size_t(kCycles));
  ASSERT_EQ(tx_taken.size(), size_t(kCycles));
  ASSERT_EQ(rx_seen.size(), size_t(kCycles)) << "every rx record on the topic";
  ASSERT_EQ(tx_seen.size(), size_t(kCycles)) << "every tx record on the topic";
  for (int k = 0; k < kCycles; ++k) {
    EXPECT_EQ(std::memcmp(&rx_seen[k], &rx_taken[k], sizeof(joint_rx)), 0) << "cycle " << k;
    EXPECT_EQ(rx_seen[k].damping, float(k) + 2.5f) << "cycle " << k;
    EXPECT_EQ(tx_seen[k].pos_ref, float(k)) << "cycle " << k;
    EXPECT_EQ(tx_seen[k].tor_ref, float(-k)) << "cycle " << k;
    EXPECT_EQ(tx_seen[k].mask, joint_tx::POS_REF | joint_tx::TOR_REF) << "cycle " << k;
    EXPECT_EQ(std::memcmp(&tx_seen[k], &tx_taken[k], joint_tx_copy_size), 0) << "cycle " << k;
  }

  // Nobody else on the topics: the pair goes on through its cells.
  rx_sub.reset();
  tx_sub.reset();
  cycle(kCycles);
  ASSERT_EQ(rx_taken.size(), size_t(kCycles + 1));
  ASSERT_EQ(tx_taken.size(), size_t(kCycles + 1));
  EXPECT_EQ(rx_taken.back().link_pos, float(kCycles));
  EXPECT_EQ(tx_taken.back().pos_ref, float(kCycles));
}
