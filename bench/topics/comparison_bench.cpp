// Side-by-side comparisons with roscpp, in one run (ratios: see
// bench/scripts/report_comparisons.py):
//  - publish and deliver one 44-byte record and one 30-joint
//    orvo_msgs/JointState: a loaned framework topic (publish, then run() of
//    the subscriber, in one thread; for the record, topics_bench's
//    BM_Loaned_OneThread of loaned_record.h) against roscpp in one node
//    (publish of a new shared message, then callAvailable() of the
//    subscriber's callback queue: roscpp's intra-process path, which copies
//    nothing) and against roscpp over loopback TCP to another process that
//    sends the message back (the round trip; the one-way figure is half of it);
//  - 30 joint records through the shared-memory device channel (client send,
//    the server in another process answers, client recv) against the same 30
//    commands and 30 states as ROS messages to that process and back;
//  - a framework service call to a server in another thread (the server
//    thread drains its callback queue in a loop) against a roscpp service call
//    to another process over loopback (persistent connection, and a new
//    connection per call as roscpp does by default).
// Counters `allocs_per_msg` / `allocs_per_call` (`pub_allocs_per_msg` for
// BM_Loaned_OneThread) count the mallocs of the benchmark thread. A rosmaster
// runs on a free loopback port for the run.

#include "loaned_record.h"

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>
#include <orvo_msgs/JointState.h>
#include <ros/callback_queue.h>
#include <ros/ros.h>
#include <std_srvs/SetBool.h>

#include "alloc_counter.h"
#include "framework/typed/service.h"
#include "framework/typed/topic.h"
#include "orvo2/channel/client_manager.h"
#include "orvo2/tasks/callback_queue.h"
#include "record_messages.h"
#include "ros_graph.h"
#include "run_benchmarks.h"
#include "test_device.h"
#include "wait_until.h"

namespace {

using Clock = std::chrono::steady_clock;
using JointRx = Orvo::Hal::joint_rx;
using JointRxMessage = OrvoBench::JointRxMessage;
using JointState = orvo_msgs::JointState;
constexpr int kJoints = 30;
constexpr auto kAnswerLimit = std::chrono::milliseconds(200);

JointState joint_state() {
  JointState msg;
  for (int i = 1; i <= kJoints; ++i) {
    msg.name.push_back("joint_" + std::to_string(i));
  }
  for (auto* values : {&msg.link_position, &msg.motor_position, &msg.link_velocity, &msg.motor_velocity,
                       &msg.effort, &msg.position_reference, &msg.velocity_reference, &msg.effort_reference,
                       &msg.stiffness, &msg.damping, &msg.aux}) {
    values->assign(kJoints, 0.5f);
  }
  msg.temperature_motor.assign(kJoints, 40);
  msg.temperature_driver.assign(kJoints, 40);
  msg.fault.assign(kJoints, 0);
  return msg;
}

// What every benchmark shares: the ROS graph with the peer process, this
// process's ROS node with one callback queue for intra-process delivery and
// one for the peer's answers.
struct RosWorld {
  std::unique_ptr<OrvoBench::RosGraph> graph;
  OrvoTest::ChildProcess* peer = nullptr;
  std::unique_ptr<ros::NodeHandle> intra_node;
  std::unique_ptr<ros::NodeHandle> tcp_node;
  ros::CallbackQueue intra_queue;
  ros::CallbackQueue answer_queue;

  void set_up(int argc, char** argv) {
    graph = std::make_unique<OrvoBench::RosGraph>("comparison_bench");
    peer = &graph->start("peer", {REPORT_PEER, "ros"});
    ros::init(argc, argv, "orvo_report_bench", ros::init_options::NoSigintHandler);
    intra_node = std::make_unique<ros::NodeHandle>();
    intra_node->setCallbackQueue(&intra_queue);
    tcp_node = std::make_unique<ros::NodeHandle>();
    tcp_node->setCallbackQueue(&answer_queue);
  }

  // Drains the answer queue until `arrived` holds, at most kAnswerLimit.
  template <typename Predicate>
  bool await(Predicate arrived) {
    const auto deadline = Clock::now() + kAnswerLimit;
    while (!arrived()) {
      if (Clock::now() > deadline) {
        return false;
      }
      answer_queue.callAvailable(ros::WallDuration(0.0001));
    }
    return true;
  }

  void tear_down() {
    intra_node.reset();
    tcp_node.reset();
    if (ros::isStarted()) {
      ros::shutdown();
    }
    peer = nullptr;
    graph.reset();
  }
};

RosWorld* world = nullptr;

std::string unique_topic(const char* base) {
  static int count = 0;
  return std::string("/orvo_report/") + base + "_" + std::to_string(++count);
}

void count_allocations(benchmark::State& state, size_t allocations, const char* name = "allocs_per_msg") {
  state.counters[name] = static_cast<double>(allocations) / static_cast<double>(state.iterations());
}

// --- publish and deliver, in process -------------------------------------

template <typename T>
void orvo_loaned(benchmark::State& state, const T& prototype, void (*stamp)(T&, uint32_t)) {
  uint32_t delivered = 0;
  // The pool is made of copies of the prototype (its vectors and strings have
  // their size): filling a loaned message copies without allocating.
  auto pub = Orvo::Context().topicManager().advertise<T>(unique_topic("orvo"), prototype, "report");
  auto sub = Orvo::Context().topicManager().subscribe<T>(
      pub->getTopicName(), [&delivered](const T&) { ++delivered; }, nullptr, 16, "report");
  uint32_t n = 0;
  size_t refused = 0;
  const auto publish_and_deliver = [&] {
    if (auto msg = pub->loanMessage()) {
      msg->value() = prototype;
      stamp(msg->value(), ++n);
      pub->publishLoaned(std::move(msg));
    } else {
      ++refused;
    }
    sub->run();
  };
  for (int i = 0; i < 100; ++i) {
    publish_and_deliver();
  }
  Orvo::test::AllocCounter allocations;
  for (auto _ : state) {
    publish_and_deliver();
  }
  count_allocations(state, allocations.count());
  state.counters["undelivered"] = static_cast<double>(n - delivered);
  state.counters["refused"] = static_cast<double>(refused);
}

template <typename M>
void roscpp_intra(benchmark::State& state, const M& prototype, void (*stamp)(M&, uint32_t)) {
  uint32_t delivered = 0;
  ros::Subscriber sub = world->intra_node->subscribe<M>(
      unique_topic("intra"), 16, [&delivered](const typename M::ConstPtr&) { ++delivered; });
  ros::Publisher pub = world->intra_node->advertise<M>(sub.getTopic(), 16);
  if (!OrvoTest::wait_until([&pub] { return pub.getNumSubscribers() > 0; }, std::chrono::seconds(10),
                            OrvoTest::kProcessPoll)) {
    state.SkipWithError("the intra-process subscriber did not connect");
    return;
  }
  uint32_t n = 0;
  Orvo::test::AllocCounter allocations;
  for (auto _ : state) {
    auto msg = boost::make_shared<M>(prototype);
    stamp(*msg, ++n);
    pub.publish(msg);
    world->intra_queue.callAvailable(ros::WallDuration(0));
  }
  count_allocations(state, allocations.count());
  state.counters["undelivered"] = static_cast<double>(n - delivered);
}

// --- publish over loopback TCP, sent back by the peer ---------------------

template <typename M>
void roscpp_tcp(benchmark::State& state, const char* out, const char* back, const M& prototype,
                void (*stamp)(M&, uint32_t), uint32_t (*stamp_of)(const M&)) {
  uint32_t answered = 0;
  const auto hints = ros::TransportHints().tcpNoDelay();
  ros::Publisher pub = world->tcp_node->advertise<M>(out, 100);
  ros::Subscriber sub = world->tcp_node->subscribe<M>(
      back, 100, [&answered, stamp_of](const typename M::ConstPtr& msg) { answered = stamp_of(*msg); },
      ros::VoidConstPtr(), hints);
  M msg = prototype;
  uint32_t n = 1000000;
  // Connections are made by roscpp's threads: repeat until answered.
  bool connected = false;
  for (int tries = 0; tries < 100 && !connected; ++tries) {
    stamp(msg, ++n);
    pub.publish(msg);
    connected = world->await([&] { return answered == n; });
  }
  if (!connected) {
    state.SkipWithError(("no answer from the peer: " + world->peer->output()).c_str());
    return;
  }
  Orvo::test::AllocCounter allocations;
  for (auto _ : state) {
    stamp(msg, ++n);
    pub.publish(msg);
    if (!world->await([&] { return answered == n; })) {
      state.SkipWithError("no answer within 200 ms");
      break;
    }
  }
  count_allocations(state, allocations.count());
}

void stamp_record(JointRx& r, uint32_t n) { r.link_pos = static_cast<float>(n); }
void stamp_record_message(JointRxMessage& m, uint32_t n) { stamp_record(m.record, n); }
uint32_t record_stamp(const JointRxMessage& m) { return static_cast<uint32_t>(m.record.link_pos); }
void stamp_state(JointState& m, uint32_t n) { m.header.stamp = ros::Time(n, 0); }
uint32_t state_stamp(const JointState& m) { return m.header.stamp.sec; }

void BM_Record44_RoscppIntraProcess(benchmark::State& state) {
  roscpp_intra<JointRxMessage>(state, JointRxMessage{}, stamp_record_message);
}
void BM_Record44_RoscppTcpRoundTrip(benchmark::State& state) {
  roscpp_tcp<JointRxMessage>(state, "/orvo_report/rx_out", "/orvo_report/rx_back", JointRxMessage{},
                             stamp_record_message, record_stamp);
}
void BM_JointState30_OrvoLoaned(benchmark::State& state) {
  orvo_loaned<JointState>(state, joint_state(), stamp_state);
}
void BM_JointState30_RoscppIntraProcess(benchmark::State& state) {
  roscpp_intra<JointState>(state, joint_state(), stamp_state);
}
void BM_JointState30_RoscppTcpRoundTrip(benchmark::State& state) {
  roscpp_tcp<JointState>(state, "/orvo_report/state_out", "/orvo_report/state_back", joint_state(), stamp_state,
                         state_stamp);
}
// The framework's side of the 44-byte record: topics_bench's benchmark.
using OrvoBench::BM_Loaned_OneThread;
BENCHMARK(BM_Loaned_OneThread);
BENCHMARK(BM_Record44_RoscppIntraProcess);
BENCHMARK(BM_Record44_RoscppTcpRoundTrip)->UseRealTime();
BENCHMARK(BM_JointState30_OrvoLoaned);
BENCHMARK(BM_JointState30_RoscppIntraProcess);
BENCHMARK(BM_JointState30_RoscppTcpRoundTrip)->UseRealTime();

// --- 30 joint records to the other process and back -----------------------

void BM_Records30_DeviceChannelRoundTrip(benchmark::State& state) {
  const std::string name = Orvo::test::unique_channel("report");
  OrvoTest::ChildProcess server({REPORT_PEER, "channel", name, std::to_string(kJoints)},
                                world->graph->dir().path() + "/channel_peer.log");
  std::vector<std::shared_ptr<Orvo::Hal::DeviceRt>> devices;
  std::vector<std::shared_ptr<Orvo::test::TestDevice>> joints;
  for (int i = 0; i < kJoints; ++i) {
    joints.push_back(std::make_shared<Orvo::test::TestDevice>("joint_" + std::to_string(i)));
    devices.push_back(joints.back());
  }
  Orvo::ClientManager client(devices, "shm", name);
  if (!OrvoTest::wait_until([&client] { return client.check_server_alive(); }, std::chrono::seconds(10),
                            OrvoTest::kProcessPoll)) {
    state.SkipWithError(("the channel server did not come up: " + server.output()).c_str());
    return;
  }
  size_t late = 0;
  Orvo::test::AllocCounter allocations;
  for (auto _ : state) {
    client.send();
    // Spins like a hardware thread polling for the simulator's step; bounded.
    const auto deadline = Clock::now() + kAnswerLimit;
    uint32_t spins = 0;
    while (!client.recv()) {
      if (++spins % 4096 == 0 && Clock::now() > deadline) {
        ++late;
        break;
      }
    }
  }
  count_allocations(state, allocations.count());
  state.counters["late"] = static_cast<double>(late);
}
BENCHMARK(BM_Records30_DeviceChannelRoundTrip)->UseRealTime();

void BM_Records30_RoscppTcpRoundTrip(benchmark::State& state) {
  uint32_t answered = 0;
  ros::Publisher pub = world->tcp_node->advertise<OrvoBench::JointTxBlock>("/orvo_report/tx_block", 100);
  ros::Subscriber sub = world->tcp_node->subscribe<OrvoBench::JointRxBlock>(
      "/orvo_report/rx_block", 100,
      [&answered](const OrvoBench::JointRxBlock::ConstPtr& msg) {
        answered = msg->records.empty() ? 0 : static_cast<uint32_t>(msg->records[0].pos_ref);
      },
      ros::VoidConstPtr(), ros::TransportHints().tcpNoDelay());
  OrvoBench::JointTxBlock commands;
  commands.records.resize(kJoints);
  uint32_t n = 0;
  bool connected = false;
  for (int tries = 0; tries < 100 && !connected; ++tries) {
    commands.records[0].pos_ref = static_cast<float>(++n);
    pub.publish(commands);
    connected = world->await([&] { return answered == n; });
  }
  if (!connected) {
    state.SkipWithError("no answer from the peer");
    return;
  }
  Orvo::test::AllocCounter allocations;
  for (auto _ : state) {
    commands.records[0].pos_ref = static_cast<float>(++n);
    pub.publish(commands);
    if (!world->await([&] { return answered == n; })) {
      state.SkipWithError("no answer within 200 ms");
      break;
    }
  }
  count_allocations(state, allocations.count());
}
BENCHMARK(BM_Records30_RoscppTcpRoundTrip)->UseRealTime();

// --- service calls ----------------------------------------------------------

using SetBool = std_srvs::SetBool;

void BM_Service_OrvoOtherThread(benchmark::State& state) {
  const std::string name = unique_topic("service");
  std::atomic<bool> running{true};
  std::atomic<bool> ready{false};
  std::thread server_thread([&] {
    Orvo::CallbackQueue queue;
    auto server = Orvo::Context().serviceManager().advertiseService<SetBool::Request, SetBool::Response>(
        name,
        [](const SetBool::Request& request, SetBool::Response& response) {
          response.success = request.data;
          response.message = "set";
          return true;
        },
        &queue);
    ready = true;
    while (running.load(std::memory_order_relaxed)) {
      queue.run();
    }
  });
  while (!ready.load()) {
    std::this_thread::yield();
  }
  auto client = Orvo::Context().serviceManager().serviceClient<SetBool::Request, SetBool::Response>(name);
  SetBool::Request request;
  SetBool::Response response;
  size_t failed = client->call(request, response, std::chrono::seconds(1)) ? 0 : 1;
  Orvo::test::AllocCounter allocations;
  for (auto _ : state) {
    request.data = !request.data;
    failed += client->call(request, response, std::chrono::seconds(1)) && response.success == request.data ? 0 : 1;
  }
  count_allocations(state, allocations.count(), "allocs_per_call");
  running = false;
  server_thread.join();
  state.counters["failed"] = static_cast<double>(failed);
}
BENCHMARK(BM_Service_OrvoOtherThread)->UseRealTime();

void roscpp_service(benchmark::State& state, bool persistent) {
  if (!ros::service::waitForService("/orvo_report/set_bool", ros::Duration(10))) {
    state.SkipWithError("the peer's service did not come up");
    return;
  }
  ros::ServiceClient client = world->tcp_node->serviceClient<SetBool>("/orvo_report/set_bool", persistent);
  SetBool call;
  size_t failed = client.call(call) ? 0 : 1;
  Orvo::test::AllocCounter allocations;
  for (auto _ : state) {
    call.request.data = !call.request.data;
    failed += client.call(call) && call.response.success == call.request.data ? 0 : 1;
  }
  count_allocations(state, allocations.count(), "allocs_per_call");
  state.counters["failed"] = static_cast<double>(failed);
}
void BM_Service_RoscppPersistent(benchmark::State& state) { roscpp_service(state, true); }
void BM_Service_RoscppNewConnection(benchmark::State& state) { roscpp_service(state, false); }
BENCHMARK(BM_Service_RoscppPersistent)->UseRealTime();
BENCHMARK(BM_Service_RoscppNewConnection)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  RosWorld shared;
  return OrvoBench::run_benchmarks(
      argc, argv, "comparison_bench",
      [&shared](int ros_argc, char** ros_argv) {
        shared.set_up(ros_argc, ros_argv);
        world = &shared;
      },
      [&shared] {
        world = nullptr;
        shared.tear_down();
      });
}
