#include "orvo2/tasks/callback_queue.h"

#include <algorithm>
#include <iterator>
#include <mutex>
#include <shared_mutex>

namespace Orvo {

void CallbackQueue::run() {
  _running_thread.store(pthread_self());
  {
    std::shared_lock<multireader_mutex> guard(_lock);
    for (auto& runnable : _runnables) {
      if (!removed_in_run(runnable->get_addr())) {
        runnable->run();
      }
    }
  }
  _running_thread.store(pthread_t{});
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

bool CallbackQueue::in_own_drain() const {
  return pthread_equal(_running_thread.load(), pthread_self()) != 0;
}

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
  if (in_own_drain()) {
    // Counted now, taken out when the drain ends: the drain may be inside
    // the very object being removed.
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
