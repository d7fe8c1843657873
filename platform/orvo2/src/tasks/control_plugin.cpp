#include "orvo2/tasks/control_plugin.h"

#include "orvo_interface/robot_interface.h"

namespace Orvo {

ControlPlugin::ControlPlugin(const Args& args)
    : RunnableTask(args.task_name, args.plugin_name),
      Journal(args.task_name),
      _plugin_name(args.plugin_name),
      _thread_name(args.thread_name),
      _params(args.params),
      _robot(args.robot) {}

ControlPlugin::~ControlPlugin() = default;

}  // namespace Orvo
