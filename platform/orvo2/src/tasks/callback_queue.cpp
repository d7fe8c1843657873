#include "orvo2/tasks/callback_queue.h"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <shared_mutex>

namespace Orvo {

// One drain in progress in this thread, innermost first: which queue, which
// of its runnables runs now, and whether that one was removed meanwhile.
// Made and undone on the stack, whatever a runnable throws.
class CallbackQueue::Drain {
public:
  explicit Drain(const CallbackQueue& queue) : _queue(&queue), _outer(innermost) { innermost = this; }
  ~Drain() { innermost = _outer; }
  Drain(const Drain&) = delete;
  Drain& operator=(const Drain&) = delete;

  static Drain* of(const CallbackQueue& queue) {
    for (Drain* drain = innermost; drain != nullptr; drain = drain->_outer) {
      if (drain->_queue == &queue) {
        return drain;
      }
    }
    return nullptr;
  }
  static Drain* inner() { return innermost; }

  void running(const void* addr) {
    _running = addr;
    _running_removed = false;
  }
  void removed(const void* addr) { _running_removed = _running_removed || addr == _running; }
  bool running_removed(const void* addr) const { return _running_removed && addr == _running; }

private:
  static thread_local Drain* innermost;
  const CallbackQueue* _queue;
  Drain* _outer;
  const void* _running = nullptr;
  bool _running_removed = false;
};

thread_local CallbackQueue::Drain* CallbackQueue::Drain::innermost = nullptr;

void CallbackQueue::run() {
  if (in_own_drain()) {
    return;  // the outer drain holds the lock shared and applies the changes
  }
  try {
    run_each();
  } catch (...) {
    apply_deferred();
    throw;
  }
  apply_deferred();
}

void CallbackQueue::run_each() {
  Drain drain(*this);
  std::shared_lock<multireader_mutex> guard(_lock);
  for (auto& runnable : _runnables) {
    const void* addr = runnable->get_addr();
    if (!removed_in_run(addr)) {
      drain.running(addr);
      runnable->run();
    }
  }
}

void CallbackQueue::apply_deferred() {
  if (_deferred.empty()) {
    return;
  }
  std::vector<std::unique_ptr<RunnableBase>> removed;
  {
    std::lock_guard<multireader_mutex> guard(_lock);
    for (Deferred& change : _deferred) {
      if (change.added) {
        _runnables.push_back(std::move(change.added));
      } else {
        take_out(change.removed, removed);
      }
    }
  }
  _deferred.clear();
}

bool CallbackQueue::removed_while_running(const void* addr) {
  const Drain* drain = Drain::inner();
  return drain != nullptr && drain->running_removed(addr);
}

bool CallbackQueue::in_own_drain() const { return Drain::of(*this) != nullptr; }

bool CallbackQueue::removed_in_run(const void* addr) const {
  return std::any_of(_deferred.begin(), _deferred.end(),
                     [addr](const Deferred& change) { return !change.added && change.removed == addr; });
}

void CallbackQueue::take_out(const void* addr, std::vector<std::unique_ptr<RunnableBase>>& removed) {
  auto it = std::stable_partition(_runnables.begin(), _runnables.end(),
                                  [addr](const auto& r) { return r->get_addr() != addr; });
  std::move(it, _runnables.end(), std::back_inserter(removed));
  _runnables.erase(it, _runnables.end());
}

void CallbackQueue::add(std::unique_ptr<RunnableBase> runnable) {
  if (in_own_drain()) {
    _deferred.push_back(Deferred{std::move(runnable), nullptr});
    return;
  }
  std::lock_guard<multireader_mutex> guard(_lock);
  _runnables.push_back(std::move(runnable));
}

int CallbackQueue::remove(const void* addr) {
  if (Drain* drain = Drain::of(*this)) {
    // Counted now, taken out when the drain ends: the drain may be inside
    // the very object being removed, which delivers nothing more.
    drain->removed(addr);
    int count = 0;
    for (const auto& runnable : _runnables) {
      count += runnable->get_addr() == addr ? 1 : 0;
    }
    for (const Deferred& change : _deferred) {
      count += change.added && change.added->get_addr() == addr ? 1 : 0;
    }
    _deferred.push_back(Deferred{nullptr, addr});
    return count;
  }
  std::vector<std::unique_ptr<RunnableBase>> removed;
  {
    std::lock_guard<multireader_mutex> guard(_lock);
    take_out(addr, removed);
  }
  return static_cast<int>(removed.size());  // destroyed outside the lock
}

size_t CallbackQueue::size() const {
  if (in_own_drain()) {
    return _runnables.size();  // the drain holds the lock shared already
  }
  std::shared_lock<multireader_mutex> guard(_lock);
  return _runnables.size();
}

}  // namespace Orvo
