#pragma once
// The state of one worker thread, shared by its set-up, its cycle and its
// scheduler services.

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "framework/primitives/thread.h"
#include "framework/typed/publisher.h"
#include "orvo2/context/journal.h"
#include "orvo2/devices/device_container_base.h"
#include "orvo2/tasks/callback_queue.h"
#include "orvo2/tasks/control_plugin.h"
#include "orvo2/tasks/task.h"
#include "orvo2/tasks/task_statistics.h"
#include "orvo2/workers/orvo_core_thread.h"

namespace Orvo {

class OrvoCoreThread::Impl {
public:
  Impl(std::string name, SchedArgs sched, HalArgs hal, TaskArgs tasks, bool realtime);
  ~Impl();

  void start();
  void stop();

  const std::string name;
  CycleHook cycle_hook;

private:
  struct Container {
    std::string type;
    std::unique_ptr<Hal::DeviceContainerBase> drivers;
    bool reported = false;  // its exception was logged
  };
  struct TaskSlot {
    std::unique_ptr<ControlPlugin> plugin;
    std::shared_ptr<Publisher<Scheduler::TaskStatistics>> stats;
    int64_t run_time = 0;
  };
  enum class Step { Sense, Run, Move };

  // Set-up (orvo_core_thread.cpp).
  void register_thread_name();
  void set_period_parameters();
  void make_containers();
  void load_plugins();
  void publish_lifecycle_event(const std::string& plugin, Runnable::State from, Runnable::State to);

  // Worker thread (worker_cycle.cpp).
  void worker_main();
  void cycle_loop();
  void cycle(int64_t measured_period);
  // False when the container threw.
  bool step_container(Container& container, Step step);
  void step_task(TaskSlot& slot);
  void publish_statistics(int64_t sense, int64_t run, int64_t move, int64_t measured_period, int32_t state);
  // A cycle that took `cycle_time` ns, longer than the period, ended at `now`:
  // counted, and told in one line at most every 10 s.
  void report_overrun(int64_t cycle_time, int64_t now);

  // Worker thread, before its first cycle (scheduler_services.cpp).
  void advertise_scheduler_services();

  SchedArgs _sched;
  HalArgs _hal;
  TaskArgs _task_args;
  bool _realtime;
  Journal _journal;
  // Resolves the scheduler's names in "orvo_internal".
  Task _scheduler;

  std::shared_ptr<Publisher<Runnable::LifecycleEvent>> _lifecycle_pub;
  std::shared_ptr<Publisher<ExecutionTime>> _execution_pub;
  std::vector<Container> _containers;
  std::vector<TaskSlot> _tasks;
  // Drained every cycle: the scheduler services. Destroyed before the tasks
  // whose handlers it holds.
  std::unique_ptr<CallbackQueue> _queue;

  std::atomic<bool> _running{false};
  std::promise<std::string> _ready;  // empty text, or what failed
  std::unique_ptr<Orvo::thread> _thread;
  uint64_t _cycles = 0;
  uint64_t _overruns = 0;        // since the last overrun line
  int64_t _overrun_line_at = 0;  // ns, monotonic; 0: none yet
};

}  // namespace Orvo
