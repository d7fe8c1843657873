// Worker threads with dummy joints and test plug-ins: the cycle, its
// statistics, the scheduler services and the containment of exceptions.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "framework/typed/service.h"
#include "framework/typed/topic.h"
#include "orvo2/context/journal.h"
#include "orvo2/workers/orvo_core_thread.h"
#include "orvo2/tasks/task_manager.h"
#include "orvo2/tasks/task_statistics.h"
#include "scheduler_client.h"
#include "wait_until.h"
#include "worker_helpers.h"

using namespace std::chrono_literals;
using Orvo::OrvoCoreThread;
using Orvo::Runnable;
using OrvoTest::wait_until;
using OrvoTest::unique_name;

namespace {

template <typename T>
std::shared_ptr<Orvo::Subscriber<T>> listen(const std::string& topic, std::vector<T>& into, int queue_size = 50) {
  return Orvo::Context().topicManager().subscribe<T>(
      topic, [&into](const T& value) { into.push_back(value); }, nullptr, queue_size, "test");
}

TEST(WorkerThread, CyclesAtItsPeriodAndPublishesStatisticsAndLifecycle) {
  OrvoTest::set_dummy_hardware(3);
  const std::string thread_name = unique_name("wt_stats");
  const std::string a = unique_name("auto");
  const std::string b = unique_name("manual");
  Orvo::TaskArgs tasks{{OrvoTest::test_task(a), OrvoTest::test_task(b, {{"autostart", false}})}};

  OrvoCoreThread thread(thread_name, OrvoTest::every(2ms), OrvoTest::dummy_joints(), tasks, false);

  // Set up before the thread runs.
  Orvo::Context context;
  const auto threads = context.paramManager().getParamOr<std::vector<std::string>>("/orvo2_thread_list", {});
  EXPECT_NE(std::find(threads.begin(), threads.end(), thread_name), threads.end());
  EXPECT_EQ(context.paramManager().getParamOr<std::chrono::nanoseconds>("/" + a + "/period", 0ns), 2ms);
  const auto names = context.taskManager().getTaskNames();
  EXPECT_NE(std::find(names.begin(), names.end(), a), names.end());
  EXPECT_EQ(context.taskManager().getTaskThread(b), thread_name);

  std::vector<Runnable::LifecycleEvent> events;
  std::vector<OrvoCoreThread::ExecutionTime> times;
  std::vector<Orvo::Scheduler::TaskStatistics> stats_a;
  std::vector<Orvo::Scheduler::TaskStatistics> stats_b;
  auto events_sub = listen("/lifecycle_events", events);
  auto times_sub = listen("/" + thread_name + "/execution_time", times, 20);
  auto stats_a_sub = listen("/" + a + "/stats", stats_a, 5);
  auto stats_b_sub = listen("/" + b + "/stats", stats_b, 5);

  std::atomic<uint64_t> cycles{0};
  thread.setCycleHook([&cycles](uint64_t done) { cycles.store(done); });
  // Timed from before the start: the thread may run cycles before this one
  // gets the processor back from start().
  const auto begin = std::chrono::steady_clock::now();
  thread.start();
  ASSERT_TRUE(wait_until([&] { return cycles.load() >= 100; }, 5000ms));
  const auto elapsed = std::chrono::steady_clock::now() - begin;
  EXPECT_GT(elapsed, 150ms);  // 100 cycles of 2 ms
  EXPECT_LT(elapsed, 2000ms);

  times_sub->run();
  stats_a_sub->run();
  stats_b_sub->run();
  ASSERT_FALSE(times.empty());
  EXPECT_EQ(times.back().expected_period, 2000000);
  // Deadlines are absolute: a late cycle is followed by a short period, and
  // the periods average out at the configured one. On a busy machine this
  // SCHED_OTHER thread can fall more than a cycle behind, and then drops the
  // missed cycles: the upper bound leaves room for that (10.6 ms seen under
  // the load recipe of docs/testing.md).
  int64_t periods = 0;
  for (const auto& time : times) {
    periods += time.period;
  }
  const int64_t mean_period = periods / static_cast<int64_t>(times.size());
  EXPECT_GT(mean_period, 1500000);
  EXPECT_LT(mean_period, 25000000);
  EXPECT_GT(times.back().sense, 0);
  EXPECT_NE(times.back().state, OrvoCoreThread::DeviceFault);
  ASSERT_FALSE(stats_a.empty());
  EXPECT_EQ(stats_a.back().state, Runnable::Running);
  EXPECT_GT(stats_a.back().run_time, 0);
  ASSERT_FALSE(stats_b.empty());
  EXPECT_EQ(stats_b.back().state, Runnable::Initialized);

  thread.stop();
  events_sub->run();
  std::vector<std::pair<Runnable::State, Runnable::State>> of_a;
  std::vector<std::pair<Runnable::State, Runnable::State>> of_b;
  for (const auto& event : events) {
    (event.plugin_name == a ? of_a : of_b).emplace_back(event.from, event.to);
  }
  const decltype(of_a) expected_a = {{Runnable::Uninitialized, Runnable::Initialized},
                                     {Runnable::Initialized, Runnable::Starting},
                                     {Runnable::Starting, Runnable::Running},
                                     {Runnable::Running, Runnable::Stopped},
                                     {Runnable::Stopped, Runnable::Closed}};
  const decltype(of_b) expected_b = {{Runnable::Uninitialized, Runnable::Initialized},
                                     {Runnable::Initialized, Runnable::Closed}};
  EXPECT_EQ(of_a, expected_a);
  EXPECT_EQ(of_b, expected_b);
}

TEST(WorkerThread, SchedulerServicesAnswerOtherThreads) {
  OrvoTest::set_dummy_hardware(1);
  const std::string c = unique_name("switchable");
  const std::string d = unique_name("unstoppable");
  Orvo::TaskArgs tasks{{OrvoTest::test_task(c), OrvoTest::test_task(d, {{"stoppable", false}})}};
  OrvoCoreThread thread(unique_name("wt_services"), OrvoTest::every(1ms), OrvoTest::dummy_joints(), tasks, false);
  thread.start();

  OrvoTest::SchedulerClient switchable(c);
  ASSERT_TRUE(switchable.reaches("Running"));
  EXPECT_TRUE(switchable.command(Runnable::Stop));
  EXPECT_TRUE(switchable.reaches("Stopped"));
  EXPECT_TRUE(switchable.command(Runnable::Start));
  EXPECT_TRUE(switchable.reaches("Running"));

  OrvoTest::SchedulerClient unstoppable(d);
  ASSERT_TRUE(unstoppable.reaches("Running"));
  EXPECT_FALSE(unstoppable.command(Runnable::Stop));
  EXPECT_TRUE(unstoppable.command(Runnable::Abort));
  EXPECT_TRUE(unstoppable.reaches("Aborted"));
  EXPECT_FALSE(unstoppable.command(Runnable::Start));
  EXPECT_EQ(switchable.state(), "Running");

  thread.stop();
  // The services go with the thread's queue only when the thread is destroyed;
  // a stopped thread answers no more.
  EXPECT_EQ(switchable.state(), "no answer");
}

TEST(WorkerThread, APluginThatThrowsIsAbortedAndTheThreadGoesOn) {
  Orvo::JournalCapture journal;
  OrvoTest::set_dummy_hardware(2);
  const std::string failing = unique_name("failing");
  const std::string healthy = unique_name("healthy");
  Orvo::TaskArgs tasks{{OrvoTest::test_task(failing, {{"throw_after", 5}}), OrvoTest::test_task(healthy)}};
  OrvoCoreThread thread(unique_name("wt_throw"), OrvoTest::every(1ms), OrvoTest::dummy_joints(), tasks, false);
  std::vector<int> runs;
  auto runs_sub = listen("/" + healthy + "/runs", runs, 200);
  thread.start();

  OrvoTest::SchedulerClient scheduler(failing);
  ASSERT_TRUE(scheduler.reaches("Aborted"));
  EXPECT_TRUE(journal.contains("plug-in '" + failing + "' threw in run: test plug-in failed on purpose"));
  runs_sub->run();
  const int runs_then = runs.empty() ? 0 : runs.back();
  EXPECT_TRUE(wait_until([&] {
    runs_sub->run();
    return !runs.empty() && runs.back() > runs_then + 20;
  }));
  EXPECT_EQ(OrvoTest::SchedulerClient(healthy).state(), "Running");
}

TEST(WorkerThread, AnOverrunningThreadSaysSoInOneThrottledLineAndItsStatistics) {
  Orvo::JournalCapture journal;
  OrvoTest::set_dummy_hardware(1);
  const std::string thread_name = unique_name("wt_overrun");
  // No cycle fits in a nanosecond.
  OrvoCoreThread thread(thread_name, OrvoTest::every(1ns), OrvoTest::dummy_joints(), {}, false);
  std::vector<OrvoCoreThread::ExecutionTime> times;
  auto times_sub = listen("/" + thread_name + "/execution_time", times, 20);
  std::atomic<uint64_t> cycles{0};
  thread.setCycleHook([&cycles](uint64_t done) { cycles.store(done); });
  thread.start();
  ASSERT_TRUE(wait_until([&] { return cycles.load() >= 2000; }, 5000ms));
  thread.stop();
  times_sub->run();
  ASSERT_FALSE(times.empty());
  EXPECT_EQ(times.back().state, OrvoCoreThread::CycleOverrun);
  const std::string line = "thread '" + thread_name + "' overruns its period of 1 ns: a cycle took ";
  int lines = 0;
  for (const Orvo::JournalEntry& entry : journal.entries()) {
    lines += entry.text.rfind(line, 0) == 0 ? 1 : 0;
  }
  EXPECT_EQ(lines, 1);
}

std::string construction_error(const std::string& thread, Orvo::HalArgs hal, Orvo::TaskArgs tasks) {
  try {
    OrvoCoreThread built(thread, OrvoTest::every(1ms), std::move(hal), std::move(tasks), false);
  } catch (const std::runtime_error& error) {
    return error.what();
  }
  return "no error";
}

TEST(WorkerThread, ConstructionErrorsNameWhatFailedAndLeaveNothingBehind) {
  Orvo::Hal::HardwareDescription hw;
  hw.addDeviceInfo({"joint_1", "joint_dummy", 1});
  hw.addDeviceInfo({"mystery", "no_such_type", 2});
  Orvo::Context().paramManager().setParam("/orvo_internal/hardware_description", hw);
  const std::string name = unique_name("wt_errors");

  const std::string unknown_type = construction_error(name, Orvo::HalArgs{{"no_such_type"}}, {});
  EXPECT_NE(unknown_type.find("thread '" + name + "': unable to make the drivers of device type 'no_such_type'"),
            std::string::npos)
      << unknown_type;
  EXPECT_NE(unknown_type.find("liborvodev_no_such_type.so"), std::string::npos) << unknown_type;

  const std::string unconfigured = construction_error(name, Orvo::HalArgs{{"imu_gz"}}, {});
  EXPECT_NE(unconfigured.find("drives device type 'imu_gz', but no device of that type is configured"),
            std::string::npos)
      << unconfigured;

  const std::string task = unique_name("lost");
  const std::string unknown_plugin =
      construction_error(name, OrvoTest::dummy_joints(), Orvo::TaskArgs{{{task, "no_such_plugin", {}}}});
  EXPECT_NE(unknown_plugin.find("unable to load plug-in 'no_such_plugin' for task '" + task + "'"),
            std::string::npos)
      << unknown_plugin;

  const std::string period = [&] {
    try {
      OrvoCoreThread built(name, OrvoTest::every(0ns), {}, {}, false);
    } catch (const std::runtime_error& error) {
      return std::string(error.what());
    }
    return std::string("no error");
  }();
  EXPECT_NE(period.find("the period must be positive, got 0 ns"), std::string::npos) << period;

  // Nothing of the failed threads stayed registered: the names are free.
  Orvo::Context context;
  EXPECT_EQ(context.taskManager().getTaskThread(task), "");
  OrvoCoreThread first(name, OrvoTest::every(1ms), {}, Orvo::TaskArgs{{OrvoTest::test_task(task)}}, false);
  EXPECT_NE(construction_error(name, {}, {}).find("thread '" + name + "' exists already"), std::string::npos);
  EXPECT_NE(construction_error(unique_name("wt_other"), {}, Orvo::TaskArgs{{OrvoTest::test_task(task)}})
                .find("task '" + task + "' of thread"),
            std::string::npos);
}

TEST(WorkerThread, AThreadDrivingTheJointMasterSetsItsPeriod) {
  Orvo::Hal::HardwareDescription hw;
  hw.addDeviceInfo({"all_joints", "joint_master", 100});
  Orvo::Context().paramManager().setParam("/orvo_internal/hardware_description", hw);
  // Whether the joint master's library is there or not, its period is set
  // before any device is made.
  construction_error(unique_name("wt_jm"), Orvo::HalArgs{{"joint_master"}}, {});
  EXPECT_EQ(Orvo::Context().paramManager().getParamOr<std::chrono::nanoseconds>("/jm/period", 0ns), 1ms);
}

}  // namespace

namespace {

// The joint master advertises its services from the thread that builds the
// worker threads; they are served by the thread that drains its queue.
TEST(WorkerThread, JointMasterAnswersAPluginOfItsThreadAtOnceAndOthersWithinAPeriod) {
  Orvo::Hal::HardwareDescription hw;
  hw.addDeviceInfo({"joint_1", "joint_dummy", 1});
  hw.addDeviceInfo({"all_joints", "joint_master", 100});
  Orvo::Context().paramManager().setParam("/orvo_internal/hardware_description", hw);
  const std::string near = unique_name("near");
  const std::string far = unique_name("far");
  OrvoCoreThread hal(unique_name("wt_hal"), OrvoTest::every(1ms), Orvo::HalArgs{{"joint_dummy", "joint_master"}},
                     Orvo::TaskArgs{{OrvoTest::test_task(near, {{"set_mask_timeout_ms", 100}})}}, false);
  OrvoCoreThread ctrl(unique_name("wt_ctrl"), OrvoTest::every(1ms), {},
                      Orvo::TaskArgs{{OrvoTest::test_task(far, {{"set_mask_timeout_ms", 1000}})}}, false);
  std::vector<int> near_us;
  std::vector<int> far_us;
  auto near_sub = listen("/" + near + "/set_mask_us", near_us, 200);
  auto far_sub = listen("/" + far + "/set_mask_us", far_us, 200);
  hal.start();
  ctrl.start();
  EXPECT_TRUE(wait_until(
      [&] {
        near_sub->run();
        far_sub->run();
        return near_us.size() >= 50 && far_us.size() >= 50;
      },
      20s));
  ctrl.stop();
  hal.stop();

  // In the hardware thread the handler runs at once: no time-out, no wait.
  ASSERT_FALSE(near_us.empty());
  EXPECT_EQ(std::count(near_us.begin(), near_us.end(), -1), 0);
  EXPECT_LT(*std::max_element(near_us.begin(), near_us.end()), 50000);
  // Elsewhere the answer comes with the hardware thread's next cycle.
  ASSERT_FALSE(far_us.empty());
  EXPECT_EQ(std::count(far_us.begin(), far_us.end(), -1), 0);
  std::sort(far_us.begin(), far_us.end());
  EXPECT_LT(far_us[far_us.size() / 2], 10000);
}

}  // namespace
