#include "command_queue.h"

#include <stdexcept>

namespace Orvo {

CommandQueue::CommandQueue(size_t capacity) : _slots(capacity) {
  if (capacity == 0) {
    throw std::invalid_argument("a command queue needs room for one message at least");
  }
  // What one keep may release: every slot taken, and the oldest one dropped.
  _releasing.reserve(capacity + 1);
}

void CommandQueue::addCallback(const ros::CallbackInterfacePtr& callback, uint64_t /*owner_id*/) {
  if (callback->ready()) {
    callback->call();
  }
}

void CommandQueue::removeByID(uint64_t /*owner_id*/) {}

void CommandQueue::keep(const Message::ConstPtr& msg) {
  std::lock_guard<std::mutex> keeping(_keep_mutex);
  {
    std::lock_guard<std::mutex> slots(_slots_mutex);
    while (_released < _taken) {
      _releasing.push_back(std::move(slot(_released++)));
    }
    if (_kept - _taken == _slots.size()) {
      _releasing.push_back(std::move(slot(_taken++)));
      _released = _taken;
    }
    slot(_kept++) = msg;
  }
  _releasing.clear();
}

bool CommandQueue::discard_waiting() {
  std::unique_lock<std::mutex> lock(_slots_mutex, std::try_to_lock);
  if (lock) {
    _taken = _kept;
  }
  return static_cast<bool>(lock);
}

}  // namespace Orvo
