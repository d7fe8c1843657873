#include "orvo2/workers/orvo_core_thread.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <stdexcept>

#include <fmt/format.h>

#include "devices/device_pairing.h"
#include "framework/primitives/device_info.h"
#include "framework/typed/parameter.h"
#include "framework/typed/topic.h"
#include "orvo2/configuration/config_parameter.h"
#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"
#include "orvo2/loading/plugin_loader.h"
#include "orvo2/tasks/task_manager.h"
#include "orvo_core_thread_impl.h"
#include "robot/plugin_robot.h"

namespace Orvo {
namespace {

const char* const thread_list_param = "/orvo2_thread_list";
const char* const hardware_param = "/orvo_internal/hardware_description";

// "~<name>" of the task `task` in its default (root) namespace.
std::string private_name(const std::string& task, const std::string& name) {
  return Task(task).resolveName("~" + name);
}

void remove_thread_name(const std::string& thread) {
  auto handle = Context().paramManager().findParam<std::vector<std::string>>(thread_list_param);
  std::vector<std::string> names;
  if (handle && handle->get(names)) {
    names.erase(std::remove(names.begin(), names.end(), thread), names.end());
    handle->set(names);
  }
}

}  // namespace

OrvoCoreThread::Impl::Impl(std::string thread_name, SchedArgs sched, HalArgs hal, TaskArgs tasks, bool realtime)
    : name(std::move(thread_name)),
      _sched(sched),
      _hal(std::move(hal)),
      _task_args(std::move(tasks)),
      _realtime(realtime),
      _journal(name),
      _scheduler(name, "", {}, true),
      _queue(std::make_unique<CallbackQueue>()) {
  if (_sched.period.count() <= 0) {
    throw std::runtime_error(fmt::format("thread '{}': the period must be positive, got {} ns", name,
                                         _sched.period.count()));
  }
  _scheduler.setNamespace("orvo_internal");
  register_thread_name();
  try {
    set_period_parameters();
    make_containers();
    TopicManager& topics = Context().topicManager();
    _lifecycle_pub = topics.advertise<Runnable::LifecycleEvent>("/lifecycle_events", {}, name);
    _execution_pub = topics.advertise<ExecutionTime>("/" + name + "/execution_time", {}, name);
    if (!_lifecycle_pub || !_execution_pub) {
      throw std::runtime_error(fmt::format("thread '{}': its statistics topics exist with another type", name));
    }
    load_plugins();
  } catch (...) {
    _tasks.clear();
    Context().taskManager().removeThread(name);
    remove_thread_name(name);
    throw;
  }
}

OrvoCoreThread::Impl::~Impl() {
  stop();
  _queue.reset();
  _tasks.clear();
  _containers.clear();
  Context().taskManager().removeThread(name);
  remove_thread_name(name);
}

void OrvoCoreThread::Impl::register_thread_name() {
  auto handle = Context().paramManager().getParamHandle<std::vector<std::string>>(thread_list_param);
  if (!handle) {
    throw std::runtime_error(
        fmt::format("thread '{}': the parameter '{}' exists with another type", name, thread_list_param));
  }
  std::vector<std::string> names;
  handle->get(names);
  if (std::find(names.begin(), names.end(), name) != names.end()) {
    throw std::runtime_error(fmt::format("thread '{}' exists already", name));
  }
  names.push_back(name);
  handle->set(names);
}

void OrvoCoreThread::Impl::set_period_parameters() {
  ParameterManager& params = Context().paramManager();
  for (const TaskArgs::Task& task : _task_args.tasks) {
    params.setParam<std::chrono::nanoseconds>(private_name(task.name, "period"), _sched.period);
  }
  const auto& types = _hal.device_types;
  if (std::find(types.begin(), types.end(), "joint_master") != types.end()) {
    params.setParam<std::chrono::nanoseconds>(private_name("jm", "period"), _sched.period);
  }
}

void OrvoCoreThread::Impl::make_containers() {
  if (_hal.device_types.empty()) {
    return;
  }
  Hal::HardwareDescription hw;
  const auto handle = Context().paramManager().findParam<Hal::HardwareDescription>(hardware_param);
  if (!handle || !handle->get(hw)) {
    throw std::runtime_error(
        fmt::format("thread '{}' drives devices but the parameter '{}' is not set", name, hardware_param));
  }
  // This thread drives every device made here, the joint master's clients
  // included: a client and its driver both made here share their records.
  Hal::DevicePairing pairing;
  for (const std::string& type : _hal.device_types) {
    std::vector<Hal::DeviceInfo> infos = hw.getDeviceInfoAll(type);
    if (infos.empty()) {
      throw std::runtime_error(
          fmt::format("thread '{}' drives device type '{}', but no device of that type is configured", name, type));
    }
    Container container;
    container.type = type;
    try {
      container.drivers = Hal::DeviceContainerBase::MakeDriver(type, std::move(infos));
    } catch (const std::exception& error) {
      throw std::runtime_error(
          fmt::format("thread '{}': unable to make the drivers of device type '{}': {}", name, type, error.what()));
    }
    if (!container.drivers) {
      throw std::runtime_error(
          fmt::format("thread '{}': the library of device type '{}' made no driver container", name, type));
    }
    _containers.push_back(std::move(container));
  }
  pairing.pair();
}

void OrvoCoreThread::Impl::load_plugins() {
  ParameterManager& params = Context().paramManager();
  TopicManager& topics = Context().topicManager();
  _tasks.reserve(_task_args.tasks.size());
  for (const TaskArgs::Task& task : _task_args.tasks) {
    for (const auto& param : task.params) {
      const std::string full_name = private_name(task.name, param.first);
      if (!set_config_parameter(params, full_name, param.second)) {
        throw std::runtime_error(fmt::format("thread '{}': parameter '{}' of task '{}' exists with another type",
                                             name, full_name, task.name));
      }
    }
    Context().taskManager().addTask(task.name, name);

    ControlPlugin::Args args;
    args.task_name = task.name;
    args.plugin_name = task.plugin;
    args.thread_name = name;
    args.params = task.params;
    args.robot = make_plugin_robot(task.name);

    TaskSlot slot;
    slot.plugin = load_control_plugin(args);
    slot.stats = topics.advertise<Scheduler::TaskStatistics>("/" + task.name + "/stats", {}, name);
    if (!slot.stats) {
      throw std::runtime_error(
          fmt::format("thread '{}': topic '/{}/stats' exists with another type", name, task.name));
    }
    const std::string* plugin_name = &slot.plugin->getName();
    slot.plugin->setLifecycleListener([this, plugin_name](Runnable::State from, Runnable::State to) {
      publish_lifecycle_event(*plugin_name, from, to);
    });
    _tasks.push_back(std::move(slot));
  }
}

void OrvoCoreThread::Impl::publish_lifecycle_event(const std::string& plugin, Runnable::State from,
                                                   Runnable::State to) {
  auto message = _lifecycle_pub->loanMessage();
  if (!message) {
    return;
  }
  Runnable::LifecycleEvent& event = message->value();
  event.plugin_name = plugin;
  event.from = from;
  event.to = to;
  _lifecycle_pub->publishLoaned(std::move(message));
}

void OrvoCoreThread::Impl::start() {
  if (_thread) {
    throw std::runtime_error(fmt::format("thread '{}' was started already", name));
  }
  std::future<std::string> ready = _ready.get_future();
  _running.store(true);
  _thread = std::make_unique<Orvo::thread>([this] { worker_main(); });
  const std::string failure = ready.get();
  if (!failure.empty()) {
    _running.store(false);
    _thread->join();
    throw std::runtime_error(failure);
  }
}

void OrvoCoreThread::Impl::stop() {
  if (!_thread || !_thread->joinable()) {
    return;
  }
  _running.store(false);
  _thread->join();
  Journal::flush();
}

OrvoCoreThread::OrvoCoreThread(std::string name, SchedArgs sched, HalArgs hal, TaskArgs tasks, bool realtime)
    : _impl(std::make_unique<Impl>(std::move(name), sched, std::move(hal), std::move(tasks), realtime)) {}

OrvoCoreThread::~OrvoCoreThread() = default;

void OrvoCoreThread::start() { _impl->start(); }

void OrvoCoreThread::stop() { _impl->stop(); }

const std::string& OrvoCoreThread::getName() const { return _impl->name; }

void OrvoCoreThread::setCycleHook(CycleHook hook) { _impl->cycle_hook = std::move(hook); }

}  // namespace Orvo
