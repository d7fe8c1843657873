#pragma once
// A queue of runnables (subscribers, service servers) that other threads
// register and that the owner's thread drains with run() at a point of its
// own cycle.

#include <memory>
#include <vector>

#include "framework/primitives/multireader_mutex.h"

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
  // What a runnable adds to or removes from this queue takes effect at the
  // end of the drain, also when a runnable throws (the exception goes on); a
  // runnable removed during it is not run again. A drain of this queue from
  // inside its own drain does nothing: the outer drain goes on.
  void run();

  // Any thread; never blocks. True when the calling thread is inside a drain
  // that runs the object `addr` and that object was removed from that drain's
  // queue meanwhile: the object must deliver nothing more.
  static bool removed_while_running(const void* addr);

  // Any thread; takes the writer lock (may spin while the owner drains). From
  // inside run() of this queue the change is kept aside and made when the
  // drain ends, as the owner holds the lock shared until then.
  void add(std::unique_ptr<RunnableBase> runnable);
  // Any thread: drops every runnable registered for `addr`; returns how many.
  int remove(const void* addr);
  size_t size() const;

  // Registration helper of the topic and service templates (defined with the
  // runnable template in framework/typed/callback_queue_runnable.h).
  template <typename T>
  void addRunnable(std::shared_ptr<T> object);

private:
  // An addition (`added` set) or a removal made from inside the drain.
  struct Deferred {
    std::unique_ptr<RunnableBase> added;
    const void* removed;
  };
  class Drain;
  void run_each();
  void apply_deferred();
  bool in_own_drain() const;
  bool removed_in_run(const void* addr) const;
  // Under the writer lock: moves the runnables of `addr` into `removed`.
  void take_out(const void* addr, std::vector<std::unique_ptr<RunnableBase>>& removed);

  mutable multireader_mutex _lock;
  std::vector<std::unique_ptr<RunnableBase>> _runnables;
  // Changes made by the thread inside run(); only that thread touches them.
  std::vector<Deferred> _deferred;
};

}  // namespace Orvo
