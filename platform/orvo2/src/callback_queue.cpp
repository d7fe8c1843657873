#include "orvo2/callback_queue.h"

#include <algorithm>
#include <mutex>
#include <shared_mutex>

namespace Orvo {

void CallbackQueue::run() {
  std::shared_lock<multireader_mutex> guard(_lock);
  for (auto& runnable : _runnables) {
    runnable->run();
  }
}

void CallbackQueue::add(std::unique_ptr<RunnableBase> runnable) {
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
