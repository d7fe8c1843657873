// orvocore: runs a robot from its YAML configuration until SIGINT (or SIGTERM,
// SIGHUP, SIGQUIT).

#include <signal.h>
#include <time.h>

#include <atomic>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <tclap/CmdLine.h>
#include <yaml-cpp/yaml.h>

#include "extra_parameters.h"
#include "framework/primitives/device_info.h"
#include "framework/typed/parameter.h"
#include "orvo2/configuration/config_parser.h"
#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"
#include "orvo2/workers/orvo_core_thread.h"
#include "orvo_config.h"
#include "orvo_interface/config_options.h"
#include "orvo_interface/logger.h"
#include "orvo_interface/orvo_interface.h"
#include "orvo_interface/robot_interface.h"
#include "ros_arguments.h"
#include "ros_logger_level.h"
#include "sim_time.h"
#include "stop_deadline.h"

namespace {

std::atomic<bool> run{true};

// Releasing the stopped threads, and ROS at the process's exit, take
// milliseconds with a ROS master that answers.
constexpr std::chrono::seconds release_limit{3};

void on_sigint(int) { run.store(false); }

// Sleeps one second at a time until SIGINT cleared `run`; an interrupted
// sleep finishes its second first.
void wait_for_sigint() {
  while (run.load()) {
    timespec remaining{1, 0};
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &remaining, &remaining) == EINTR) {
    }
  }
}

// A start-up failure ends the process at once, without the orderly stop,
// once the journal lines of the threads that failed are written out.
[[noreturn]] void fail_start_up(const char* what) {
  Orvo::Journal::flush();
  std::fflush(stdout);
  std::cerr << "orvocore: " << what << std::endl;
  std::_Exit(1);
}

// Main thread, set-up, before the configuration is read. Verbose: the
// journal and the logger at level 0; else at level 2, and ROS's console
// quieted.
void set_verbosity(bool verbose) {
  if (verbose) {
    Orvo::Journal::SetGlobalJournalLevel(0);
    Orvo::Logger::SetVerbosityLevel(0);
  } else {
    Orvo::Journal::SetGlobalJournalLevel(2);
    Orvo::Logger::SetVerbosityLevel(2);
    Orvo::set_ros_logger_level();
  }
}

// Main thread; allocates. The configuration file: `given` (--config), else
// the one ORVO_CONFIG names. Throws std::runtime_error when there is none.
std::string configuration_path(const std::string& given) {
  std::string path = given;
  if (path.empty()) {
    path = Orvo::Utils::getOrvoConfig();
  }
  if (path.empty()) {
    throw std::runtime_error(
        "no configuration given: pass --config FILE, or set ORVO_CONFIG to a file whose first line "
        "is the configuration file's path");
  }
  return path;
}

// Main thread; allocates. Reads the robot's options from the configuration
// file at `path` into `options`, publishes them, initialises `model` from
// them and sets "/robot_description" when it exists. Throws what reading
// the options and the model throws.
void load_robot_model(Orvo::ParameterManager& params, const std::string& path, Orvo::ConfigOptions& options,
                      Orvo::OrvoInterface& model) {
  options = Orvo::ConfigOptions::FromConfigFile(path);
  options.set_parameter<std::string>("framework", "Orvo2Rt");
  params.setParam<Orvo::ConfigOptions>("/orvo_internal/hal/robot_ifc_cfg", options);
  model.init(options);
  if (auto description = params.getParamHandle<std::string>("/robot_description")) {
    description->set(options.get_urdf());
  }
}

// Main thread; allocates. The hardware description, the extra framework
// parameters and the ROS arguments as parameters. Throws what the parameter
// manager throws.
void publish_configuration(Orvo::ParameterManager& params, const Orvo::ConfigParser& parser,
                           const std::vector<std::string>& ros_args) {
  params.setParam<Orvo::Hal::HardwareDescription>("/orvo_internal/hardware_description", parser.getHw());
  Orvo::publish_extra_parameters(params, parser.getParameters());
  Orvo::publish_ros_arguments(params, ros_args);
}

// Main thread; allocates. One thread per configured thread, in file order,
// into `threads`, which keeps those made when a later one throws.
void make_threads(const Orvo::ConfigParser& parser, std::vector<std::unique_ptr<Orvo::OrvoCoreThread>>& threads) {
  for (const std::string& name : parser.getThreads()) {
    const Orvo::SchedArgs sched = parser.getThreadSchedArgs(name);
    const Orvo::TaskArgs tasks = parser.getThreadTaskArgs(name);
    const Orvo::HalArgs hal = parser.getThreadHalArgs(name);
    threads.push_back(std::make_unique<Orvo::OrvoCoreThread>(name, sched, hal, tasks, true));
  }
}

// Main thread; never allocates or throws. A service manager or a closed
// terminal stops orvocore with SIGTERM, SIGHUP or SIGQUIT: each stops it in
// order, as SIGINT does.
void handle_stop_signals() {
  struct sigaction action {};
  action.sa_handler = on_sigint;
  action.sa_flags = 0;
  sigemptyset(&action.sa_mask);
  for (const int stop_signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    sigaction(stop_signal, &action, nullptr);
  }
}

// Main thread, after the stop; allocates. Destroys the threads in order
// under the release limit, each named while it goes, then names ROS and the
// process's exit.
void release_threads(std::vector<std::unique_ptr<Orvo::OrvoCoreThread>>& threads) {
  Orvo::StopDeadline deadline(release_limit);
  for (auto& thread : threads) {
    deadline.releasing(fmt::format("thread '{}'", thread->getName()));
    thread.reset();
  }
  deadline.releasing("ROS and the process's exit");
}

}  // namespace

int main(int argc, char** argv) {
  auto context_impl = std::make_shared<Orvo::ContextImpl>();
  Orvo::Context context(context_impl);
  Orvo::ParameterManager& params = context.paramManager();

  TCLAP::CmdLine cmd("", ' ', fmt::format("{}.{}.{}", 2, 0, 0));
  TCLAP::SwitchArg verbose("V", "verbose", "Print additional output", cmd, false);
  TCLAP::SwitchArg simtime("S", "simtime", "Synchronize with simulation time", cmd, false);
  TCLAP::ValueArg<std::string> config("C", "config", "Path to the orvo2 yaml configuration file", false, "",
                                      "filepath", cmd);
  const std::vector<std::string> ros_args = Orvo::take_ros_arguments(argc, argv);
  cmd.parse(argc, argv);
  set_verbosity(verbose.getValue());

  std::unique_ptr<Orvo::SimTime> sim_time;
  std::string path;
  Orvo::ConfigOptions options;
  Orvo::OrvoInterface model;
  YAML::Node root;
  std::unique_ptr<Orvo::ConfigParser> parser;
  std::vector<std::unique_ptr<Orvo::OrvoCoreThread>> threads;
  try {
    if (simtime.getValue()) {
      sim_time = std::make_unique<Orvo::SimTime>();
    }
    path = configuration_path(config.getValue());
    load_robot_model(params, path, options, model);
    root = YAML::LoadFile(path);
    parser = std::make_unique<Orvo::ConfigParser>(root, model);
    publish_configuration(params, *parser, ros_args);
    make_threads(*parser, threads);
    for (auto& thread : threads) {
      thread->start();
    }
  } catch (const std::exception& error) {
    fail_start_up(error.what());
  } catch (...) {
    fail_start_up("unknown exception");
  }
  context.journal().jhigh().jok("started running \n");

  handle_stop_signals();
  wait_for_sigint();

  for (auto& thread : threads) {
    thread->stop();
  }
  if (sim_time) {
    sim_time->stop();
  }
  Orvo::RobotInterface::clearRobotMap();
  context.journal().jhigh().jok("gracefully stopping \n");
  release_threads(threads);
  return 0;
}
