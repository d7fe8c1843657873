#include "statistics_message.h"

#include <fmt/format.h>

namespace Orvo {

namespace {

float seconds(int64_t ns) {
  return static_cast<float>(static_cast<double>(ns) / 1000000000.0);
}

}  // namespace

orvo_msgs::Statistics make_statistics(
    const std::map<std::string, Scheduler::TaskStatistics>& tasks,
    const std::map<std::string, OrvoCoreThread::ExecutionTime>& threads,
    const TaskThreadLookup& thread_of) {
  orvo_msgs::Statistics out;
  out.task_stats.reserve(tasks.size());
  for (const auto& [name, figures] : tasks) {
    orvo_msgs::TaskStatistics task;
    task.name = name;
    task.thread = thread_of(name);
    task.run_time = seconds(figures.run_time);
    task.state = Runnable::StateAsString(figures.state);
    out.task_stats.push_back(std::move(task));
  }
  out.thread_stats.reserve(threads.size());
  for (const auto& [name, figures] : threads) {
    orvo_msgs::ThreadStatistics thread;
    thread.name = name;
    thread.hal_sense_time = seconds(figures.sense);
    thread.hal_move_time = seconds(figures.move);
    thread.task_run_time = seconds(figures.run);
    thread.total_time = thread.hal_sense_time + thread.hal_move_time + thread.task_run_time;
    thread.period = seconds(figures.period);
    thread.expected_period = seconds(figures.expected_period);
    thread.state = fmt::format("{}", figures.state);
    out.thread_stats.push_back(std::move(thread));
  }
  return out;
}

}  // namespace Orvo
