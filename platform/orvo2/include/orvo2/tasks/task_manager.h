#pragma once
// The process-wide list of the plug-in tasks that worker threads run, in the
// order they were registered, with the thread that runs each. Reached through
// Orvo::Context().taskManager().

#include <string>
#include <utility>
#include <vector>

#include "framework/primitives/multireader_mutex.h"

namespace Orvo {

class TaskManager {
public:
  TaskManager() = default;
  TaskManager(const TaskManager&) = delete;
  TaskManager& operator=(const TaskManager&) = delete;

  // Set-up; writer lock, allocates. Throws std::runtime_error naming both
  // threads when `task` is registered already.
  void addTask(const std::string& task, const std::string& thread);
  // Tear-down; writer lock. Forgets every task of `thread`.
  void removeThread(const std::string& thread);

  // Any thread; shared lock, allocates the copy.
  std::vector<std::string> getTaskNames() const;
  // Any thread; shared lock. The thread running `task`, empty when unknown;
  // allocates only for names longer than the string's inline room.
  std::string getTaskThread(const std::string& task) const;

private:
  mutable multireader_mutex _lock;
  std::vector<std::pair<std::string, std::string>> _tasks;  // (task, thread)
};

}  // namespace Orvo
