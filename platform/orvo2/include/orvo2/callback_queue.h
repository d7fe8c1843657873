#pragma once
// A queue of runnables (subscribers, service servers) that other threads
// register and that the owner's thread drains with run() at a point of its
// own cycle.

#include <pthread.h>

#include <atomic>
#include <memory>
#include <vector>

#include "framework/multireader_mutex.h"

namespace Orvo {

class CallbackQueue {
public:
  class RunnableBase {
  public:
    virtual void run() = 0;
    // Identifies the registered object.
    virtual const void* get_addr() const = 0;
    virtual ~RunnableBase() = default;
  };
  template <typename T>
  class RunnableInstance;

  CallbackQueue() = default;
  CallbackQueue(const CallbackQueue&) = delete;
  CallbackQueue& operator=(const CallbackQueue&) = delete;

  // Owner's thread: runs every registered runnable once, in registration
  // order. Takes the list's lock shared: real-time safe while nobody registers.
  // What a runnable registers on this queue joins it at the end of the drain;
  // a runnable must not remove from the queue that runs it.
  void run();

  // Any thread; takes the writer lock (may spin while the owner drains). From
  // inside run() of this queue the runnable is kept aside and added when the
  // drain ends, as the owner holds the lock shared until then.
  void add(std::unique_ptr<RunnableBase> runnable);
  // Any thread: drops every runnable registered for `addr`; returns how many.
  int remove(const void* addr);
  size_t size() const;

  // Registration helper of the topic and service templates (defined with the
  // runnable template in framework/callback_queue_runnable.h).
  template <typename T>
  void addRunnable(std::shared_ptr<T> object);

private:
  mutable multireader_mutex _lock;
  std::vector<std::unique_ptr<RunnableBase>> _runnables;
  // The thread inside run(), zero otherwise; only that thread touches _added_in_run.
  std::atomic<pthread_t> _running_thread{};
  std::vector<std::unique_ptr<RunnableBase>> _added_in_run;
};

}  // namespace Orvo
