#pragma once
// A task with a lifecycle: each step of the lifecycle is followed by a drain
// of the task's own callback queue (its subscribers and service servers).

#include <map>
#include <string>

#include "orvo2/tasks/runnable.h"
#include "orvo2/tasks/task.h"

namespace Orvo {

class RunnableTask : public Task, public Runnable {
public:
  // Set-up, any thread; allocates.
  explicit RunnableTask(std::string name, std::string type = "",
                        std::map<std::string, std::string> remappings = {});
  ~RunnableTask() override;

  // Owner's thread, once per cycle. One lifecycle step, then the task queue
  // is drained unless the task is in a final state. Never throws: an
  // exception from a queued callback aborts the task. Allocates only if the
  // plug-in's own code does.
  void execute_lifecycle() override;
};

}  // namespace Orvo
