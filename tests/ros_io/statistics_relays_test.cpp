// Statistics assembly and the lifecycle and joint master status relays.

#include <gtest/gtest.h>

#include "statistics_message.h"
#include "status_relays.h"

namespace Orvo {
namespace {

TEST(StatisticsMessage, FiguresInSecondsByNameOrder) {
  std::map<std::string, Scheduler::TaskStatistics> tasks;
  tasks["b_task"] = Scheduler::TaskStatistics{1500000, Runnable::Running};
  tasks["a_task"] = Scheduler::TaskStatistics{};
  std::map<std::string, OrvoCoreThread::ExecutionTime> threads;
  threads["rt"] = OrvoCoreThread::ExecutionTime{200000, 300000, 500000, 1000123, 1000000, -1};
  threads["never_heard"] = OrvoCoreThread::ExecutionTime{};

  const orvo_msgs::Statistics out = make_statistics(
      tasks, threads, [](const std::string& task) { return task == "b_task" ? "rt" : ""; });

  ASSERT_EQ(out.task_stats.size(), 2u);
  EXPECT_EQ(out.task_stats[0].name, "a_task");
  EXPECT_EQ(out.task_stats[0].thread, "");
  EXPECT_EQ(out.task_stats[0].run_time, 0.0f);
  EXPECT_EQ(out.task_stats[0].state, "Uninitialized");
  EXPECT_EQ(out.task_stats[1].name, "b_task");
  EXPECT_EQ(out.task_stats[1].thread, "rt");
  EXPECT_EQ(out.task_stats[1].run_time, 0.0015f);
  EXPECT_EQ(out.task_stats[1].state, "Running");

  ASSERT_EQ(out.thread_stats.size(), 2u);
  const orvo_msgs::ThreadStatistics& silent = out.thread_stats[0];
  EXPECT_EQ(silent.name, "never_heard");
  EXPECT_EQ(silent.total_time, 0.0f);
  EXPECT_EQ(silent.period, 0.0f);
  EXPECT_EQ(silent.state, "0");
  const orvo_msgs::ThreadStatistics& rt = out.thread_stats[1];
  EXPECT_EQ(rt.name, "rt");
  EXPECT_EQ(rt.hal_sense_time, 0.0002f);
  EXPECT_EQ(rt.hal_move_time, 0.0003f);
  EXPECT_EQ(rt.task_run_time, 0.0005f);
  EXPECT_EQ(rt.total_time, 0.0002f + 0.0003f + 0.0005f);
  EXPECT_EQ(rt.period, static_cast<float>(0.001000123));
  EXPECT_EQ(rt.expected_period, 0.001f);
  EXPECT_EQ(rt.state, "-1");

  const orvo_msgs::Statistics empty = make_statistics({}, {}, [](const std::string&) { return ""; });
  EXPECT_TRUE(empty.task_stats.empty());
  EXPECT_TRUE(empty.thread_stats.empty());
}

TEST(StatusRelays, LifecycleTextsAndLow8BitsOfTheMask) {
  Runnable::LifecycleEvent event;
  event.plugin_name = "p";
  event.from = Runnable::Starting;
  event.to = Runnable::Running;
  const orvo_msgs::LifecycleEvent lifecycle = to_lifecycle_message(event);
  EXPECT_EQ(lifecycle.plugin_name, "p");
  EXPECT_EQ(lifecycle.from_state, "Starting");
  EXPECT_EQ(lifecycle.to_state, "Running");

  const orvo_msgs::JointDeviceInfo info = to_joint_device_info(Hal::JointMasterInfo{0x1FF, true, 5.0});
  EXPECT_EQ(info.mask, 255);
  EXPECT_TRUE(info.filter_active);
  EXPECT_EQ(info.filter_cutoff_hz, 5.0);
  EXPECT_EQ(to_joint_device_info(Hal::JointMasterInfo{0x100, false, 0.0}).mask, 0);
  EXPECT_FALSE(to_joint_device_info(Hal::JointMasterInfo{0x100, false, 0.0}).filter_active);
}

}  // namespace
}  // namespace Orvo
