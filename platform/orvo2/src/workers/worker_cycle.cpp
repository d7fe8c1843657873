// The worker thread of an OrvoCoreThread: its set-up in the thread, the
// timed loop and one cycle. Nothing here allocates once the loop runs.

#include <pthread.h>
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <exception>
#include <string>

#include <fmt/format.h>

#include "framework/primitives/monotonic_clock.h"
#include "orvo_core_thread_impl.h"
#include "realtime_scheduling.h"

namespace Orvo {
namespace {

constexpr int64_t ns_per_s = 1000000000;
// A stop waits at most this long for a thread asleep in a long period.
constexpr int64_t stop_slice_ns = 100000000;
// An overrunning thread says so at most once in this interval.
constexpr int64_t overrun_line_interval_ns = 10 * ns_per_s;

void sleep_until(int64_t deadline_ns) {
  timespec deadline{};
  deadline.tv_sec = static_cast<time_t>(deadline_ns / ns_per_s);
  deadline.tv_nsec = static_cast<long>(deadline_ns % ns_per_s);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}

// Until `deadline_ns`, or, in a period longer than a slice, until the slice
// after `running` went false.
void sleep_until(int64_t deadline_ns, const std::atomic<bool>& running) {
  for (;;) {
    const int64_t slice_end = monotonic_now_ns() + stop_slice_ns;
    if (deadline_ns <= slice_end) {
      sleep_until(deadline_ns);
      return;
    }
    sleep_until(slice_end);
    if (!running.load(std::memory_order_relaxed)) {
      return;
    }
  }
}

const char* step_name(int step) {
  static const char* const names[] = {"sense_all", "run_all", "move_all"};
  return names[step];
}

}  // namespace

void OrvoCoreThread::Impl::worker_main() {
  char thread_name[16] = {};
  name.copy(thread_name, sizeof(thread_name) - 1);
  pthread_setname_np(pthread_self(), thread_name);
  apply_scheduling(name, _sched, _realtime, _journal);
  try {
    advertise_scheduler_services();
  } catch (const std::exception& error) {
    _ready.set_value(fmt::format("thread '{}': unable to serve its scheduler services: {}", name, error.what()));
    return;
  }
  _ready.set_value(std::string());
  cycle_loop();
  for (TaskSlot& slot : _tasks) {
    slot.plugin->close();
  }
}

void OrvoCoreThread::Impl::cycle_loop() {
  const int64_t period = _sched.period.count();
  int64_t deadline = monotonic_now_ns();
  int64_t last_start = deadline - period;
  while (_running.load(std::memory_order_relaxed)) {
    const int64_t start = monotonic_now_ns();
    cycle(start - last_start);
    last_start = start;
    ++_cycles;
    if (cycle_hook) {
      cycle_hook(_cycles);
    }
    deadline += period;
    const int64_t end = monotonic_now_ns();
    if (end > deadline + period) {
      deadline = end;  // more than a cycle behind: drop the missed cycles
    }
    sleep_until(deadline, _running);
  }
}

void OrvoCoreThread::Impl::cycle(int64_t measured_period) {
  bool devices_ok = true;  // no container threw
  const int64_t t0 = monotonic_now_ns();
  for (Container& container : _containers) {
    devices_ok = step_container(container, Step::Sense) && devices_ok;
  }
  const int64_t t1 = monotonic_now_ns();
  for (Container& container : _containers) {
    devices_ok = step_container(container, Step::Run) && devices_ok;
  }
  for (TaskSlot& slot : _tasks) {
    step_task(slot);
  }
  _queue->run();
  const int64_t t2 = monotonic_now_ns();
  for (Container& container : _containers) {
    devices_ok = step_container(container, Step::Move) && devices_ok;
  }
  const int64_t t3 = monotonic_now_ns();

  int32_t state = CycleOk;
  if (!devices_ok) {
    state = DeviceFault;
  } else if (t3 - t0 > _sched.period.count()) {
    state = CycleOverrun;
    report_overrun(t3 - t0, t3);
  }
  publish_statistics(t1 - t0, t2 - t1, t3 - t2, measured_period, state);
}

void OrvoCoreThread::Impl::report_overrun(int64_t cycle_time, int64_t now) {
  ++_overruns;
  if (_overrun_line_at != 0 && now - _overrun_line_at < overrun_line_interval_ns) {
    return;
  }
  _journal.jhigh().vlog(Journal::Warning,
                        "thread '{}' overruns its period of {} ns: a cycle took {} ns ({} overruns "
                        "since the last such line; at most one line per {} s) \n",
                        name, _sched.period.count(), cycle_time, _overruns,
                        overrun_line_interval_ns / ns_per_s);
  _overruns = 0;
  _overrun_line_at = now;
}

bool OrvoCoreThread::Impl::step_container(Container& container, Step step) {
  // The containers' own results (false: no new data) are no fault here.
  const char* what = "unknown exception";
  try {
    switch (step) {
      case Step::Sense: container.drivers->sense_all(); break;
      case Step::Run: container.drivers->run_all(); break;
      case Step::Move: container.drivers->move_all(); break;
    }
    return true;
  } catch (const std::exception& error) {
    what = error.what();
  } catch (...) {
  }
  if (!container.reported) {
    container.reported = true;
    _journal.jhigh().vlog(Journal::Error, "device container '{}' threw in {}: {} \n", container.type,
                          step_name(static_cast<int>(step)), what);
  }
  return false;
}

void OrvoCoreThread::Impl::step_task(TaskSlot& slot) {
  const int64_t begin = monotonic_now_ns();
  ControlPlugin& plugin = *slot.plugin;
  try {
    plugin.execute_lifecycle();
  } catch (const std::exception& error) {
    _journal.jhigh().vlog(Journal::Error, "task '{}' threw out of its lifecycle step: {}; aborting \n",
                          plugin.getName(), error.what());
    plugin.command(Runnable::Abort);
  } catch (...) {
    _journal.jhigh().vlog(Journal::Error, "task '{}' threw out of its lifecycle step: {}; aborting \n",
                          plugin.getName(), "unknown exception");
    plugin.command(Runnable::Abort);
  }
  slot.run_time = monotonic_now_ns() - begin;
}

void OrvoCoreThread::Impl::publish_statistics(int64_t sense, int64_t run, int64_t move, int64_t measured_period,
                                              int32_t state) {
  for (TaskSlot& slot : _tasks) {
    if (auto message = slot.stats->loanMessage()) {
      message->value().run_time = slot.run_time;
      message->value().state = slot.plugin->getState();
      slot.stats->publishLoaned(std::move(message));
    }
  }
  if (auto message = _execution_pub->loanMessage()) {
    ExecutionTime& times = message->value();
    times.sense = sense;
    times.move = move;
    times.run = run;
    times.period = measured_period;
    times.expected_period = _sched.period.count();
    times.state = state;
    _execution_pub->publishLoaned(std::move(message));
  }
}

}  // namespace Orvo
