#pragma once
// The base of every control plug-in: a runnable task with a journal of its
// own (named after the task) and the robot interface it commands. Plug-ins
// are made by their library's orvo2_create_plugin_<name> from Args (see
// orvo2/loading/control_plugin_library.h) and run in the worker thread named
// in Args.
//
// Destruction releases the robot interface, then the journal, then the
// runnable part, then the task part.

#include <memory>
#include <string>

#include "orvo2/configuration/config_parser.h"
#include "orvo2/context/journal.h"
#include "orvo2/tasks/runnable_task.h"

namespace Orvo {

class RobotInterface;

class ControlPlugin : public RunnableTask, protected Journal {
public:
  struct Args {
    std::string task_name;
    std::string plugin_name;  // the library is liborvoctrl_<plugin_name>.so
    std::string thread_name;
    ConfigValueMap params;    // also set as the task's private parameters
    // Null while no robot back end is available to the process.
    std::shared_ptr<RobotInterface> robot;
  };

  // Set-up, any thread; allocates.
  explicit ControlPlugin(const Args& args);
  ~ControlPlugin() override;

  // Any thread.
  const std::string& getPluginName() const { return _plugin_name; }
  const std::string& getThreadName() const { return _thread_name; }
  const ConfigValueMap& getPluginParams() const { return _params; }

protected:
  // The plug-in's thread. May be null (see Args::robot).
  const std::shared_ptr<RobotInterface>& robot() const { return _robot; }

private:
  std::string _plugin_name;
  std::string _thread_name;
  ConfigValueMap _params;
  std::shared_ptr<RobotInterface> _robot;
};

}  // namespace Orvo
