#pragma once
// Cheap handle on the process-wide registries and the process journal.
// Every Context of a process reaches the same registries.

#include <memory>

namespace Orvo {

class Journal;
class ParameterManager;
class TopicManager;
class ServiceManager;
class TaskManager;

// Owner of the process state for a program's lifetime (the launcher keeps one).
class ContextImpl {
public:
  ContextImpl();
};

class Context {
public:
  Context() = default;
  explicit Context(std::shared_ptr<ContextImpl> impl) : _impl(std::move(impl)) {}

  // Any thread; never blocks, never allocates.
  ParameterManager& paramManager() const;
  TopicManager& topicManager() const;
  ServiceManager& serviceManager() const;
  TaskManager& taskManager() const;
  Journal& journal() const;

private:
  std::shared_ptr<ContextImpl> _impl;
};

}  // namespace Orvo
