// A control plug-in built by the tests (position_commander) on the six dummy
// joints of the example arm behind the joint master: once with the worker
// threads made in this process as orvocore makes them, observed and switched
// from the test's thread, and once as an orvocore process.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "child_process.h"
#include "dummy_arm.h"
#include "framework/typed/service.h"
#include "framework/typed/topic.h"
#include "in_process_robot.h"
#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"
#include "orvo2/devices/device_rt.h"
#include "orvo2/devices/joint_master_messages.h"
#include "orvo2/tasks/runnable.h"
#include "orvo2/tasks/task_statistics.h"
#include "orvo2/workers/orvo_core_thread.h"
#include "scheduler_client.h"
#include "temp_dir.h"
#include "wait_until.h"

using namespace std::chrono_literals;
using Orvo::Runnable;
using OrvoTest::wait_until;
using OrvoTest::TempDir;

namespace {

using ExecutionTime = Orvo::OrvoCoreThread::ExecutionTime;
using TaskStatistics = Orvo::Scheduler::TaskStatistics;

constexpr size_t kJoints = 6;

// The example arm with all six joints as dummy joints, the joint master, a
// hardware thread and a control thread running the commander, written with
// the example URDF into `dir`.
std::string write_commander_robot(const TempDir& dir, const std::vector<OrvoTest::ConfigParam>& commander_params) {
  return OrvoTest::dummy_arm_config(ORVO2_EXAMPLES_DIR "/dummy_robot/")
      .device("joint_master", "all_joints", 100)
      .thread(OrvoTest::WorkerThread("hal_thread", "1ms").fifo(60).devices({"joint_dummy", "joint_master"}))
      .thread(OrvoTest::WorkerThread("ctrl_thread", "1ms")
                  .fifo(50)
                  .task("commander", "position_commander", commander_params))
      .write(dir);
}

// Everything the threads publish that the test looks at, delivered in the
// test's thread by poll(): the joint master's aggregated rx (the newest),
// the task's lifecycle events and statistics, both threads' execution times.
class Observer {
public:
  Observer(const std::string& task, const std::vector<std::string>& threads) : _task(task) {
    Orvo::TopicManager& topics = Orvo::Context().topicManager();
    _subscribers.push_back(topics.subscribe<Orvo::Hal::JointMasterRx>(
        Orvo::Hal::DeviceRt::RxTopicName("joint_master", "all_joints"),
        [this](const Orvo::Hal::JointMasterRx& msg) { rx = msg; }, nullptr, 1, "test"));
    _subscribers.push_back(topics.subscribe<Runnable::LifecycleEvent>(
        "/lifecycle_events",
        [this](const Runnable::LifecycleEvent& event) {
          if (event.plugin_name == _task) {
            events.emplace_back(event.from, event.to);
          }
        },
        nullptr, 50, "test"));
    _subscribers.push_back(topics.subscribe<TaskStatistics>(
        "/" + task + "/stats",
        [this](const TaskStatistics& stats) {
          last_stats = stats;
          auto& longest = longest_step[stats.state];
          longest = std::max(longest, stats.run_time);
        },
        nullptr, 100, "test"));
    for (const std::string& thread : threads) {
      _subscribers.push_back(topics.subscribe<ExecutionTime>(
          "/" + thread + "/execution_time", [this, thread](const ExecutionTime& t) { times[thread] = t; }, nullptr,
          100, "test"));
    }
  }

  void poll() {
    for (auto& subscriber : _subscribers) {
      subscriber->run();
    }
  }

  // Polls until `done` holds for the newest aggregated rx, within 5 s.
  template <typename Predicate>
  bool rx_until(Predicate done) {
    return wait_until(
        [&] {
          poll();
          return rx.rx.size() == kJoints && done(rx);
        },
        5000ms);
  }

  Orvo::Hal::JointMasterRx rx;
  std::vector<std::pair<Runnable::State, Runnable::State>> events;
  TaskStatistics last_stats;
  std::map<Runnable::State, int64_t> longest_step;  // ns, by the state reported with it
  std::map<std::string, ExecutionTime> times;

private:
  std::string _task;
  std::vector<std::shared_ptr<Orvo::SubscriberBase>> _subscribers;
};

bool every_joint(const Orvo::Hal::JointMasterRx& msg, bool (*holds)(const Orvo::Hal::joint_rx&)) {
  for (const auto& joint : msg.rx) {
    if (!holds(joint)) {
      return false;
    }
  }
  return true;
}

TEST(ControlPluginEndToEnd, InProcessCommandsReachTheJointsAndTheSchedulerSwitchesThePlugin) {
  TempDir dir("e2e_in_process");
  const std::string config = write_commander_robot(dir, {{"target", "double", "0.3"}});
  Orvo::JournalCapture journal;
  OrvoTest::InProcessRobot robot(config);
  Observer observer("commander", {"hal_thread", "ctrl_thread"});
  robot.start();
  OrvoTest::SchedulerClient commander("commander", 5000ms);

  // Not started: the hardware runs and echoes the joints at rest.
  ASSERT_TRUE(commander.reaches("Initialized"));
  ASSERT_TRUE(observer.rx_until([](const Orvo::Hal::JointMasterRx& msg) { return msg.seq > 20; }));
  EXPECT_TRUE(every_joint(observer.rx, [](const Orvo::Hal::joint_rx& j) { return j.link_pos == 0.f; }));
  for (size_t i = 0; i < kJoints; ++i) {
    EXPECT_EQ(observer.rx.info[i].id, static_cast<int>(i + 1));
  }

  // Started: the references ramp up and the dummy joints echo them.
  ASSERT_TRUE(commander.command(Runnable::Start));
  ASSERT_TRUE(commander.reaches("Running"));
  ASSERT_TRUE(observer.rx_until([](const Orvo::Hal::JointMasterRx& msg) {
    return every_joint(msg, [](const Orvo::Hal::joint_rx& j) { return j.pos_ref > 0.01f && j.link_pos > 0.01f; });
  }));

  // Stopped half way: the joints stay where the last command left them.
  ASSERT_TRUE(commander.command(Runnable::Stop));
  ASSERT_TRUE(commander.reaches("Stopped"));
  uint32_t seq = observer.rx.seq;
  ASSERT_TRUE(observer.rx_until([&](const Orvo::Hal::JointMasterRx& msg) { return msg.seq > seq + 5; }));
  const Orvo::Hal::JointMasterRx halted = observer.rx;
  ASSERT_TRUE(observer.rx_until([&](const Orvo::Hal::JointMasterRx& msg) { return msg.seq > halted.seq + 30; }));
  for (size_t i = 0; i < kJoints; ++i) {
    EXPECT_EQ(observer.rx.rx[i].link_pos, halted.rx[i].link_pos) << "joint " << i + 1;
    EXPECT_LT(halted.rx[i].link_pos, 0.29f) << "joint " << i + 1;
  }
  EXPECT_FALSE(journal.contains("all 6 joints sensed"));

  // Started again: every joint reaches the target, the plug-in says so.
  ASSERT_TRUE(commander.command(Runnable::Start));
  ASSERT_TRUE(observer.rx_until([](const Orvo::Hal::JointMasterRx& msg) {
    return every_joint(msg, [](const Orvo::Hal::joint_rx& j) { return j.link_pos == 0.3f && j.pos_ref == 0.3f; });
  }));
  EXPECT_TRUE(wait_until([&] { return journal.contains("position_commander 'commander': all 6 joints sensed at 0.3 rad"); }));

  // Aborted: final, a start is refused, the joints hold the target.
  ASSERT_TRUE(commander.command(Runnable::Abort));
  ASSERT_TRUE(commander.reaches("Aborted"));
  EXPECT_FALSE(commander.command(Runnable::Start));
  seq = observer.rx.seq;
  ASSERT_TRUE(observer.rx_until([&](const Orvo::Hal::JointMasterRx& msg) { return msg.seq > seq + 10; }));
  EXPECT_TRUE(every_joint(observer.rx, [](const Orvo::Hal::joint_rx& j) { return j.link_pos == 0.3f; }));
  EXPECT_TRUE(wait_until([&] {
    observer.poll();
    return observer.last_stats.state == Runnable::Aborted;
  }));

  // Stopping the threads closes the plug-in, aborted or not.
  robot.stop();
  observer.poll();
  const decltype(observer.events) expected = {
      {Runnable::Uninitialized, Runnable::Initialized}, {Runnable::Initialized, Runnable::Starting},
      {Runnable::Starting, Runnable::Running},          {Runnable::Running, Runnable::Stopped},
      {Runnable::Stopped, Runnable::Starting},          {Runnable::Starting, Runnable::Running},
      {Runnable::Running, Runnable::Aborted},           {Runnable::Aborted, Runnable::Closed}};
  EXPECT_EQ(observer.events, expected);
  for (const Runnable::State state : {Runnable::Initialized, Runnable::Running, Runnable::Stopped}) {
    EXPECT_EQ(observer.longest_step.count(state), 1u) << Runnable::StateAsString(state);
  }
  // A running step senses, commands six joints and moves: it takes time.
  EXPECT_GT(observer.longest_step[Runnable::Running], 0);
  for (const std::string thread : {"hal_thread", "ctrl_thread"}) {
    ASSERT_EQ(observer.times.count(thread), 1u) << thread;
    EXPECT_EQ(observer.times[thread].expected_period, 1000000) << thread;
    EXPECT_GT(observer.times[thread].period, 0) << thread;
    EXPECT_NE(observer.times[thread].state, Orvo::OrvoCoreThread::DeviceFault) << thread;
  }
  EXPECT_GT(observer.times["hal_thread"].sense, 0);
  EXPECT_FALSE(journal.contains("safety limit violation"));
}

TEST(ControlPluginEndToEnd, AsAnOrvocoreProcessThePluginSeesItsCommandsEchoed) {
  TempDir dir("e2e_process");
  const std::string config =
      write_commander_robot(dir, {{"target", "double", "-0.25"}, {"autostart", "bool", "true"}});
  OrvoTest::ChildProcess launcher({ORVOCORE_PATH, "--config", config});
  ASSERT_TRUE(launcher.wait_for_output("started running", 10s)) << launcher.output() << launcher.errors();
  EXPECT_TRUE(launcher.wait_for_output("position_commander 'commander': all 6 joints sensed at -0.25 rad", 10s))
      << launcher.output();

  launcher.signal(SIGINT);
  ASSERT_TRUE(launcher.wait_for_exit(3s));
  EXPECT_EQ(launcher.exit_code(), 0) << launcher.errors();
  const std::string output = launcher.output();
  EXPECT_NE(output.find("gracefully stopping"), std::string::npos) << output;
  EXPECT_EQ(output.find("safety limit violation"), std::string::npos) << output;
  EXPECT_EQ(launcher.errors(), "");
}

}  // namespace
