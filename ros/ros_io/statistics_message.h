#pragma once
// The run-time figures of every thread and task as one orvo_msgs/Statistics.

#include <functional>
#include <map>
#include <string>

#include <orvo_msgs/Statistics.h>

#include "orvo2/tasks/task_statistics.h"
#include "orvo2/workers/orvo_core_thread.h"

namespace Orvo {

// Names the thread that runs a task.
using TaskThreadLookup = std::function<std::string(const std::string& task)>;

// Bridge thread; allocates. One entry per task and per thread, each list in
// ascending name order; durations in seconds as single-precision values of
// the ns figures, the thread's total the single-precision sum of its sense,
// move and run times; states as text (tasks by name, threads as the decimal
// state value).
orvo_msgs::Statistics make_statistics(
    const std::map<std::string, Scheduler::TaskStatistics>& tasks,
    const std::map<std::string, OrvoCoreThread::ExecutionTime>& threads,
    const TaskThreadLookup& thread_of);

}  // namespace Orvo
