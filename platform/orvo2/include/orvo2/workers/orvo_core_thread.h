#pragma once
// A worker thread: at its period it senses, runs and moves the driver
// containers of the device types it drives and steps the lifecycle of each
// of its control plug-ins.
//
// Construction (set-up, allocates, throws std::runtime_error naming the
// thread and what failed): the thread's name is added to "/orvo2_thread_list";
// "~period" of every task (and "/jm/period" when the thread drives
// "joint_master") is set; the driver containers are made from the hardware
// description "/orvo_internal/hardware_description"; every task's parameters
// are set under its private names and its plug-in is loaded by name.
//
// The cycle (absolute deadlines on CLOCK_MONOTONIC): sense_all of every
// container, run_all, one lifecycle step of each task with its task queue
// drained, the thread's own queue drained (the scheduler services
// "scheduler/<task>/command" and "scheduler/<task>/get_state" in namespace
// "orvo_internal"), move_all, then the statistics "/<task>/stats" and
// "/<thread>/execution_time". Lifecycle changes go to "/lifecycle_events".
// The cycle allocates nothing and never blocks on a lock held by another
// thread; exceptions from devices, containers and plug-ins are logged, and a
// plug-in that threw is aborted.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "orvo2/configuration/config_parser.h"

namespace Orvo {

class OrvoCoreThread {
public:
  // Published every cycle on "/<thread>/execution_time"; durations in ns.
  struct ExecutionTime {
    int64_t sense = 0;            // sense_all of every container
    int64_t move = 0;             // move_all of every container
    int64_t run = 0;              // run_all, the tasks' steps and the queues
    int64_t period = 0;           // measured: start of this cycle - start of the last
    int64_t expected_period = 0;  // configured
    int32_t state = 0;            // a CycleState
  };
  // DeviceFault: a device container threw in the cycle; CycleOverrun: the
  // cycle took longer than the period.
  enum CycleState : int32_t { CycleOk = 0, CycleOverrun = 1, DeviceFault = -1 };

  // Test and measurement hook: called in the worker thread at the end of
  // every cycle with the number of cycles done; must not throw.
  using CycleHook = std::function<void(uint64_t cycles)>;

  // Set-up (main thread). With `realtime` false the configured policy is not
  // applied and the thread runs with SCHED_OTHER.
  OrvoCoreThread(std::string name, SchedArgs sched, HalArgs hal, TaskArgs tasks, bool realtime);
  // Main thread; stops the thread first when it runs, then destroys the
  // plug-ins and the containers and unregisters the thread and its tasks.
  ~OrvoCoreThread();
  OrvoCoreThread(const OrvoCoreThread&) = delete;
  OrvoCoreThread& operator=(const OrvoCoreThread&) = delete;

  // Main thread; blocks until the worker has set itself up (scheduling,
  // services). Throws std::runtime_error naming the thread when it cannot
  // start or was started before.
  void start();
  // Main thread; blocks until the worker has closed its plug-ins and ended
  // (after its current cycle, then at most 100 ms of a longer period), then
  // until its journal lines are written out. Does nothing when not running.
  void stop();

  // Any thread.
  const std::string& getName() const;
  // Set-up, before start().
  void setCycleHook(CycleHook hook);

private:
  class Impl;
  std::unique_ptr<Impl> _impl;
};

}  // namespace Orvo
