#include "orvo2/tasks/runnable_task.h"

#include <exception>

#include "orvo2/tasks/callback_queue.h"

namespace Orvo {

RunnableTask::RunnableTask(std::string name, std::string type, std::map<std::string, std::string> remappings)
    : Task(name, std::move(type), std::move(remappings)), Runnable(name) {}

RunnableTask::~RunnableTask() = default;

void RunnableTask::execute_lifecycle() {
  Runnable::execute_lifecycle();
  const State state = getState();
  if (state == Aborted || state == InitFailed || state == Closed) {
    return;
  }
  try {
    getTaskQueue()->run();
  } catch (const std::exception& error) {
    abort_after_exception("a queued callback", error.what());
  } catch (...) {
    abort_after_exception("a queued callback", "unknown exception");
  }
}

}  // namespace Orvo
