#include "orvo2/topics/topic_manager.h"

#include <time.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "framework/primitives/monotonic_clock.h"
#include "orvo2/context/context.h"
#include "orvo2/topics/topic.h"

namespace Orvo {
namespace {

std::chrono::nanoseconds monotonic_now() { return std::chrono::nanoseconds(monotonic_now_ns()); }

timespec to_timespec(std::chrono::nanoseconds t) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(t);
  return timespec{static_cast<time_t>(seconds.count()), static_cast<long>((t - seconds).count())};
}

// advertise() signals one waiter; several waiters re-check in slices of this length.
constexpr std::chrono::milliseconds wait_slice(10);

}  // namespace

TopicManager& Context::topicManager() const {
  static TopicManager* manager = new TopicManager;
  return *manager;
}

TopicManager::TopicManager() = default;
TopicManager::~TopicManager() = default;

std::shared_ptr<Topic> TopicManager::get_topic(const std::string& name) {
  std::lock_guard<mutex> guard(_mutex);
  const auto it = _topics.find(name);
  return it == _topics.end() ? nullptr : it->second;
}

std::vector<std::string> TopicManager::topic_names() {
  std::lock_guard<mutex> guard(_mutex);
  std::vector<std::string> names;
  names.reserve(_topics.size());
  for (const auto& entry : _topics) {
    names.push_back(entry.first);
  }
  return names;
}

bool TopicManager::wait_for_publisher(const std::string& name, std::chrono::nanoseconds timeout) {
  const auto deadline = monotonic_now() + timeout;
  std::unique_lock<mutex> guard(_mutex);
  for (;;) {
    const auto it = _topics.find(name);
    if (it != _topics.end() && it->second->publisher_count() > 0) {
      return true;
    }
    const auto now = monotonic_now();
    if (now >= deadline) {
      return false;
    }
    const timespec until = to_timespec(std::min(deadline, now + std::chrono::nanoseconds(wait_slice)));
    const int rc = pthread_cond_timedwait(_cond.native_handle(), _mutex.native_handle(), &until);
    if (rc != 0 && rc != ETIMEDOUT) {
      throw std::runtime_error(std::string("error in pthread_cond_timedwait: ") + std::strerror(rc));
    }
  }
}

}  // namespace Orvo
