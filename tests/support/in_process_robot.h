#pragma once
// A robot run in the calling process the way orvocore runs it: the
// parameters orvocore publishes from the configuration, then one worker
// thread per configured thread, all constructed before any starts. For tests
// and benchmarks that watch the threads from inside; link orvocore_parts.
//
//   OrvoTest::InProcessRobot robot(config_path);
//   robot.thread("hal_thread").setCycleHook(...);
//   robot.start();

#include <yaml-cpp/yaml.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "extra_parameters.h"
#include "framework/primitives/device_info.h"
#include "framework/typed/parameter.h"
#include "orvo2/configuration/config_parser.h"
#include "orvo2/context/context.h"
#include "orvo2/workers/orvo_core_thread.h"
#include "orvo_interface/config_options.h"
#include "orvo_interface/orvo_interface.h"
#include "orvo_interface/robot_interface.h"

namespace OrvoTest {

class InProcessRobot {
public:
  // Set-up; throws what orvocore's start-up would report.
  explicit InProcessRobot(const std::string& config) {
    Orvo::ParameterManager& params = Orvo::Context().paramManager();
    auto options = Orvo::ConfigOptions::FromConfigFile(config);
    options.set_parameter<std::string>("framework", "Orvo2Rt");
    params.setParam<Orvo::ConfigOptions>("/orvo_internal/hal/robot_ifc_cfg", options);
    Orvo::OrvoInterface model;
    if (!model.init(options)) {
      throw std::runtime_error("the model of '" + config + "' does not initialise");
    }
    params.setParam<std::string>("/robot_description", options.get_urdf());
    const Orvo::ConfigParser parser(YAML::LoadFile(config), model);
    params.setParam<Orvo::Hal::HardwareDescription>("/orvo_internal/hardware_description", parser.getHw());
    Orvo::publish_extra_parameters(params, parser.getParameters());
    for (const std::string& name : parser.getThreads()) {
      _threads.push_back(std::make_unique<Orvo::OrvoCoreThread>(name, parser.getThreadSchedArgs(name),
                                                                parser.getThreadHalArgs(name),
                                                                parser.getThreadTaskArgs(name), true));
    }
  }
  ~InProcessRobot() {
    stop();
    _threads.clear();
    Orvo::RobotInterface::clearRobotMap();
  }
  InProcessRobot(const InProcessRobot&) = delete;
  InProcessRobot& operator=(const InProcessRobot&) = delete;

  // The configured thread `name`; throws std::out_of_range when there is none.
  Orvo::OrvoCoreThread& thread(const std::string& name) {
    for (auto& thread : _threads) {
      if (thread->getName() == name) {
        return *thread;
      }
    }
    throw std::out_of_range("no thread '" + name + "' in the configuration");
  }

  // In configuration order, as orvocore starts and stops them.
  void start() {
    for (auto& thread : _threads) {
      thread->start();
    }
  }
  void stop() {
    for (auto& thread : _threads) {
      thread->stop();
    }
  }

private:
  std::vector<std::unique_ptr<Orvo::OrvoCoreThread>> _threads;
};

}  // namespace OrvoTest
