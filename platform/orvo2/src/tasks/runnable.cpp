#include "orvo2/tasks/runnable.h"

#include <exception>

#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"

namespace Orvo {
namespace {

constexpr int no_command = -1;

bool is_final(Runnable::State state) {
  return state == Runnable::InitFailed || state == Runnable::Aborted || state == Runnable::Closed;
}

}  // namespace

std::string Runnable::StateAsString(State state) {
  switch (state) {
    case Uninitialized: return "Uninitialized";
    case Initialized: return "Initialized";
    case Starting: return "Starting";
    case Running: return "Running";
    case Stopped: return "Stopped";
    case Aborted: return "Aborted";
    case InitFailed: return "InitFailed";
    case Closed: return "Closed";
  }
  return "InvalidState";
}

Runnable::Runnable(std::string name) : _runnable_name(std::move(name)), _pending(no_command) {}

Runnable::~Runnable() = default;

void Runnable::start_completed() {
  if (_state.load() == Starting) {
    transition(Running);
  }
}

bool Runnable::command(Command command) {
  const State state = _state.load();
  bool accepted = false;
  switch (command) {
    case Start: accepted = !is_final(state); break;
    case Stop: accepted = !is_final(state) && _stoppable.load(); break;
    case Abort: accepted = state != Closed; break;
  }
  if (accepted) {
    _pending.store(command);
  }
  return accepted;
}

bool Runnable::take_command(int expected) {
  return _pending.compare_exchange_strong(expected, no_command);
}

template <typename Step>
bool Runnable::guarded(const char* step_name, Step&& step) noexcept {
  try {
    step();
    return true;
  } catch (const std::exception& error) {
    abort_after_exception(step_name, error.what());
  } catch (...) {
    abort_after_exception(step_name, "unknown exception");
  }
  return false;
}

void Runnable::execute_lifecycle() {
  const int pending = _pending.load();
  const State state = _state.load();
  if (pending == Abort && state != Closed) {
    take_command(pending);
    if (state != Aborted) {
      abort_now();
    }
    return;
  }
  switch (state) {
    case Uninitialized: {
      bool initialized = false;
      if (guarded("on_initialize", [&] { initialized = on_initialize(); })) {
        transition(initialized ? Initialized : InitFailed);
      }
      break;
    }
    case Initialized:
    case Stopped:
      if ((state == Initialized && _autostart) || (pending == Start && take_command(pending))) {
        _autostart = false;
        transition(Starting);
        guarded("starting", [this] { starting(); });
      } else if (pending == Stop) {
        take_command(pending);  // nothing runs: nothing to stop
      }
      break;
    case Starting:
    case Running:
      if (pending == Stop && take_command(pending) && _stoppable.load()) {
        if (guarded("stopping", [this] { stopping(); })) {
          transition(Stopped);
        }
      } else if (state == Starting) {
        if (pending == Start) {
          take_command(pending);
        }
        guarded("starting", [this] { starting(); });
      } else {
        if (pending == Start) {
          take_command(pending);  // running already
        }
        guarded("run", [this] { run(); });
      }
      break;
    case Aborted:
    case InitFailed:
    case Closed:
      if (pending != no_command) {
        take_command(pending);
      }
      break;
  }
}

void Runnable::close() {
  const State state = _state.load();
  if (state == Closed) {
    return;
  }
  if ((state == Starting || state == Running) && guarded("stopping", [this] { stopping(); })) {
    transition(Stopped);
  }
  guarded("on_close", [this] { on_close(); });
  transition(Closed);
}

void Runnable::abort_now() noexcept {
  try {
    on_abort();
  } catch (const std::exception& error) {
    Context().journal().jhigh().vlog(Journal::Error, "plug-in '{}' threw in {}: {} \n", _runnable_name,
                                     "on_abort", error.what());
  } catch (...) {
    Context().journal().jhigh().vlog(Journal::Error, "plug-in '{}' threw in {}: {} \n", _runnable_name,
                                     "on_abort", "unknown exception");
  }
  transition(Aborted);
}

void Runnable::abort_after_exception(const char* step, const char* what) noexcept {
  Context().journal().jhigh().vlog(Journal::Error, "plug-in '{}' threw in {}: {} \n", _runnable_name, step,
                                   what);
  if (_state.load() != Aborted) {
    abort_now();
  }
}

void Runnable::transition(State to) noexcept {
  const State from = _state.exchange(to);
  if (from != to && _listener) {
    _listener(from, to);
  }
}

}  // namespace Orvo
