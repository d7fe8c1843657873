#pragma once
// The runnable that a callback queue holds for a registered subscriber or
// service server, and the registration step of the topic and service templates.

#include <memory>

#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"
#include "orvo2/tasks/callback_queue.h"

namespace Orvo {

// Holds a strong reference: a registered object lives as long as the queue
// keeps its runnable, even when its creator dropped every other handle.
template <typename T>
class CallbackQueue::RunnableInstance final : public CallbackQueue::RunnableBase {
public:
  explicit RunnableInstance(std::shared_ptr<T> object) : _object(std::move(object)) {}

  // Owner's thread, inside CallbackQueue::run().
  void run() override {
    if (_object) {
      _object->run();
    }
  }
  const void* get_addr() const override { return _object.get(); }

private:
  std::shared_ptr<T> _object;
};

// Any thread; takes the queue's writer lock. A null object is refused with a
// journal entry.
template <typename T>
void CallbackQueue::addRunnable(std::shared_ptr<T> object) {
  if (!object) {
    Context().journal().jhigh().vlog(Journal::Error, "[{}] invalid runnable provided \n", "addRunnable");
    return;
  }
  add(std::make_unique<RunnableInstance<T>>(std::move(object)));
}

}  // namespace Orvo
