#pragma once
// What a worker thread publishes for each of its tasks every cycle on
// "/<task>/stats".

#include <cstdint>

#include "orvo2/tasks/runnable.h"

namespace Orvo {
namespace Scheduler {

struct TaskStatistics {
  int64_t run_time = 0;  // ns spent in the task's lifecycle step and queue drain
  Runnable::State state = Runnable::Uninitialized;
};

}  // namespace Scheduler
}  // namespace Orvo
