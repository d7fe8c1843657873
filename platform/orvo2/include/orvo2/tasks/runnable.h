#pragma once
// The lifecycle of a control plug-in. The thread that owns the runnable calls
// execute_lifecycle() once per cycle; each call takes one step:
//
//   Uninitialized --on_initialize() true--> Initialized    (false: InitFailed)
//   Initialized   --start command or autostart--> Starting
//   Starting      --start_completed()--> Running           (starting() each step until then)
//   Running       --run() each step; stop command--> Stopped (stopping() once)
//   Stopped       --start command--> Starting
//   any but Closed --abort command, or an exception from a step--> Aborted (on_abort() once)
//   close(): Starting/Running --> Stopped (stopping()), then --> Closed (on_close())
//
// InitFailed, Aborted and Closed are final. A stop command is refused while
// the runnable is marked not stoppable. Every change of state is reported to
// the lifecycle listener as (from, to).

#include <atomic>
#include <functional>
#include <string>

namespace Orvo {

class Runnable {
public:
  enum State : int {
    Uninitialized = 0,
    Initialized = 1,
    Starting = 2,
    Running = 3,
    Stopped = 4,
    Aborted = 5,
    InitFailed = 6,
    Closed = 7,
  };

  // Values of the "scheduler/<task>/command" service's request.
  enum Command : int { Start = 0, Stop = 1, Abort = 2 };

  // A change of state of the plug-in `plugin_name`, as published on
  // "/lifecycle_events". Copies keep at least kNameCapacity characters of
  // room for the name, so that publishing from a loaned copy does not
  // allocate for names up to that length.
  struct LifecycleEvent {
    static constexpr size_t kNameCapacity = 64;

    std::string plugin_name;
    State from = Uninitialized;
    State to = Uninitialized;

    LifecycleEvent() { plugin_name.reserve(kNameCapacity); }
    LifecycleEvent(const LifecycleEvent& other) : LifecycleEvent() { *this = other; }
    LifecycleEvent& operator=(const LifecycleEvent& other) = default;
  };

  using LifecycleListener = std::function<void(State from, State to)>;

  // Any thread; never allocates. The text of a state ("InvalidState" for a
  // value outside the enumeration).
  static std::string StateAsString(State state);

  explicit Runnable(std::string name);
  virtual ~Runnable();
  Runnable(const Runnable&) = delete;
  Runnable& operator=(const Runnable&) = delete;

  // Owner's thread, inside the plug-in's own steps (on_initialize, constructor).
  void setAutostart(bool autostart) { _autostart = autostart; }
  void setStoppable(bool stoppable) { _stoppable.store(stoppable); }
  bool isStoppable() const { return _stoppable.load(); }

  // Owner's thread, from starting() or run() while Starting: the start is
  // over, the runnable is Running from now on. Ignored in any other state.
  void start_completed();

  // Any thread; lock-free, never allocates. Records the command for the next
  // step; false when the current state refuses it (start in a final state,
  // stop while not stoppable or in a final state, anything once Closed, an
  // unknown value).
  bool command(Command command);

  // Any thread; lock-free.
  State getState() const { return _state.load(); }
  const std::string& getRunnableName() const { return _runnable_name; }

  // Set-up, before the first step. Called in the owner's thread at every
  // change of state; must not throw or allocate.
  void setLifecycleListener(LifecycleListener listener) { _listener = std::move(listener); }

  // Owner's thread, once per cycle: one step of the lifecycle. Never throws:
  // an exception from the plug-in's code is logged and aborts the runnable.
  virtual void execute_lifecycle();

  // Owner's thread, once, when the owner stops: stops a started runnable and
  // closes it. Never throws.
  void close();

  // The plug-in's steps, in the owner's thread. An exception aborts.
  virtual bool on_initialize() { return true; }
  // Called every step while Starting; the default completes the start at once.
  virtual void starting() { start_completed(); }
  virtual void run() {}
  virtual void stopping() {}
  virtual void on_abort() {}
  virtual void on_close() {}

protected:
  // Owner's thread; never throws. Logs `what` with the step that raised it,
  // runs on_abort (guarded) and moves to Aborted.
  void abort_after_exception(const char* step, const char* what) noexcept;

private:
  template <typename Step>
  bool guarded(const char* step_name, Step&& step) noexcept;
  bool take_command(int expected);
  void transition(State to) noexcept;
  void abort_now() noexcept;

  std::string _runnable_name;
  std::atomic<State> _state{Uninitialized};
  std::atomic<int> _pending;
  std::atomic<bool> _stoppable{true};
  bool _autostart = false;
  LifecycleListener _listener;
};

}  // namespace Orvo
