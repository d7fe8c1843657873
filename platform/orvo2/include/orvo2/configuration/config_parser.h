#pragma once
// Reads a robot's YAML configuration (docs/configuration.md): the devices,
// the worker threads with their scheduling, device types and tasks, and the
// extra framework parameters. Everything is checked at construction; the
// getters only hand out copies. Set-up only: every method allocates.

#include <chrono>
#include <map>
#include <string>
#include <variant>
#include <vector>

#include "framework/primitives/device_info.h"

namespace YAML {
class Node;
}

namespace Orvo {

class OrvoInterface;

// A typed configuration value.
using ConfigValue = std::variant<std::string, double, int, bool, std::chrono::nanoseconds,
                                 std::vector<std::string>>;
// Parameter name → value, as written in the file.
using ConfigValueMap = std::map<std::string, ConfigValue>;

struct SchedArgs {
  std::chrono::nanoseconds period{0};
  int policy = 0;    // SCHED_OTHER, SCHED_FIFO or SCHED_RR
  int priority = 0;  // 0 for SCHED_OTHER, 1..99 otherwise
};

struct HalArgs {
  // Device types whose driver containers the thread senses and moves.
  std::vector<std::string> device_types;
};

struct TaskArgs {
  struct Task {
    std::string name;
    std::string plugin;  // loaded from liborvoctrl_<plugin>.so
    ConfigValueMap params;
  };
  // In file order.
  std::vector<Task> tasks;
};

class ConfigParser {
public:
  // Throws std::runtime_error "<file>: <key path>: <what is wrong>" for bad
  // input; the file is the one the model was initialised from.
  ConfigParser(const YAML::Node& root, const OrvoInterface& model);

  Hal::HardwareDescription getHw() const { return _hw; }
  // Thread names in file order.
  std::vector<std::string> getThreads() const { return _thread_names; }
  // Throw std::out_of_range naming the thread when it is not configured.
  SchedArgs getThreadSchedArgs(const std::string& thread) const;
  TaskArgs getThreadTaskArgs(const std::string& thread) const;
  HalArgs getThreadHalArgs(const std::string& thread) const;
  // Extra framework parameters ("parameters").
  ConfigValueMap getParameters() const { return _parameters; }

private:
  struct Thread {
    SchedArgs sched;
    HalArgs hal;
    TaskArgs tasks;
  };
  const Thread& thread(const std::string& name) const;

  Hal::HardwareDescription _hw;
  std::vector<std::string> _thread_names;
  std::map<std::string, Thread> _threads;
  ConfigValueMap _parameters;
};

}  // namespace Orvo
