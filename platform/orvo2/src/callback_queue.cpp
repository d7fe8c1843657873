#include "orvo2/callback_queue.h"

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
      runnable->run();
    }
  }
  _running_thread.store(pthread_t{});
  if (!_added_in_run.empty()) {
    std::lock_guard<multireader_mutex> guard(_lock);
    std::move(_added_in_run.begin(), _added_in_run.end(), std::back_inserter(_runnables));
    _added_in_run.clear();
  }
}

void CallbackQueue::add(std::unique_ptr<RunnableBase> runnable) {
  if (pthread_equal(_running_thread.load(), pthread_self()) != 0) {
    _added_in_run.push_back(std::move(runnable));
    return;
  }
  std::lock_guard<multireader_mutex> guard(_lock);
  _runnables.push_back(std::move(runnable));
}

int CallbackQueue::remove(const void* addr) {
  std::vector<std::unique_ptr<RunnableBase>> removed;
  {
    std::lock_guard<multireader_mutex> guard(_lock);
    auto it = std::stable_partition(_runnables.begin(), _runnables.end(),
                                    [addr](const auto& r) { return r->get_addr() != addr; });
    std::move(it, _runnables.end(), std::back_inserter(removed));
    _runnables.erase(it, _runnables.end());
  }
  return static_cast<int>(removed.size());  // destroyed outside the lock
}

size_t CallbackQueue::size() const {
  std::shared_lock<multireader_mutex> guard(_lock);
  return _runnables.size();
}

}  // namespace Orvo
