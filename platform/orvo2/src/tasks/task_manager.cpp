#include "orvo2/tasks/task_manager.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>
#include <stdexcept>

#include <fmt/format.h>

#include "orvo2/context/context.h"

namespace Orvo {

TaskManager& Context::taskManager() const {
  static TaskManager* tasks = new TaskManager;
  return *tasks;
}

void TaskManager::addTask(const std::string& task, const std::string& thread) {
  std::lock_guard<multireader_mutex> guard(_lock);
  for (const auto& entry : _tasks) {
    if (entry.first == task) {
      throw std::runtime_error(fmt::format("task '{}' of thread '{}' is run by thread '{}' already", task,
                                           thread, entry.second));
    }
  }
  _tasks.emplace_back(task, thread);
}

void TaskManager::removeThread(const std::string& thread) {
  std::lock_guard<multireader_mutex> guard(_lock);
  _tasks.erase(std::remove_if(_tasks.begin(), _tasks.end(),
                              [&thread](const auto& entry) { return entry.second == thread; }),
               _tasks.end());
}

std::vector<std::string> TaskManager::getTaskNames() const {
  std::shared_lock<multireader_mutex> guard(_lock);
  std::vector<std::string> names;
  names.reserve(_tasks.size());
  for (const auto& entry : _tasks) {
    names.push_back(entry.first);
  }
  return names;
}

std::string TaskManager::getTaskThread(const std::string& task) const {
  std::shared_lock<multireader_mutex> guard(_lock);
  for (const auto& entry : _tasks) {
    if (entry.first == task) {
      return entry.second;
    }
  }
  return {};
}

}  // namespace Orvo
