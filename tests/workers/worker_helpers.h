#pragma once
// Building blocks of the worker-thread tests: dummy joints in the hardware
// description, tasks of the test plug-in, and names unique to the process.

#include <sched.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <vector>

#include "framework/primitives/device_info.h"
#include "framework/typed/parameter.h"
#include "orvo2/configuration/config_parser.h"
#include "orvo2/context/context.h"

namespace OrvoTest {

inline std::string unique_name(const std::string& base) {
  static int counter = 0;
  return base + "_" + std::to_string(::getpid()) + "_" + std::to_string(counter++);
}

// Publishes a hardware description with `joints` dummy joints (ids 1..n).
inline void set_dummy_hardware(int joints) {
  Orvo::Hal::HardwareDescription hw;
  for (int id = 1; id <= joints; ++id) {
    hw.addDeviceInfo({"joint_" + std::to_string(id), "joint_dummy", id});
  }
  Orvo::Context().paramManager().setParam("/orvo_internal/hardware_description", hw);
}

inline Orvo::SchedArgs every(std::chrono::nanoseconds period) {
  Orvo::SchedArgs sched;
  sched.period = period;
  sched.policy = SCHED_OTHER;
  return sched;
}

inline Orvo::TaskArgs::Task test_task(const std::string& name, Orvo::ConfigValueMap params = {}) {
  return Orvo::TaskArgs::Task{name, "test_plugin", std::move(params)};
}

inline Orvo::HalArgs dummy_joints() { return Orvo::HalArgs{{"joint_dummy"}}; }

}  // namespace OrvoTest
