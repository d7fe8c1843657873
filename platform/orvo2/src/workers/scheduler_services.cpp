// The scheduler services of a worker thread, one pair per task, served on
// the thread's own queue.

#include <string>

#include <fmt/format.h>

#include "framework/typed/service.h"
#include "orvo_core_thread_impl.h"

namespace Orvo {

void OrvoCoreThread::Impl::advertise_scheduler_services() {
  ServiceManager& services = Context().serviceManager();
  for (TaskSlot& slot : _tasks) {
    ControlPlugin* plugin = slot.plugin.get();
    const std::string& task = plugin->getName();
    // The command's verdict goes into the response; the handler always answers.
    services.advertiseService<Runnable::Command, bool>(
        _scheduler.resolveName(fmt::format("scheduler/{}/command", task)),
        [plugin](const Runnable::Command& command, bool& accepted) {
          accepted = plugin->command(command);
          return true;
        },
        _queue.get());
    services.advertiseService<service::Empty, std::string>(
        _scheduler.resolveName(fmt::format("scheduler/{}/get_state", task)),
        [plugin](const service::Empty&, std::string& state) {
          state = Runnable::StateAsString(plugin->getState());
          return true;
        },
        _queue.get());
  }
}

}  // namespace Orvo
