// Fuzz target: the configuration loader. The input is the text of a robot
// configuration file; it goes through what orvocore does with one at start-up
// (ConfigOptions::FromConfigFile, the robot model, YAML::LoadFile,
// ConfigParser, every getter of the result, the extra parameters published
// into a parameter manager of its own). Bad input must end in a
// std::exception with a message: never a crash, a hang or another exception.
//
// The file is written as config.yaml into a folder of this process that also
// holds a small fixed robot, arm.urdf and arm.srdf, for the input to name.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>

#include <yaml-cpp/yaml.h>

#include "extra_parameters.h"
#include "orvo2/configuration/config_parser.h"
#include "orvo2/context/journal.h"
#include "orvo2/parameters/parameter_manager.h"
#include "orvo_interface/config_options.h"
#include "orvo_interface/logger.h"
#include "orvo_interface/orvo_interface.h"

namespace {

const char* const kUrdf = R"(<?xml version="1.0"?>
<robot name="arm">
  <link name="base"/>
  <link name="upper"/>
  <link name="lower"/>
  <link name="tool"/>
  <joint name="shoulder" type="revolute">
    <parent link="base"/><child link="upper"/><axis xyz="0 0 1"/>
    <limit lower="-1.5" upper="1.5" velocity="2.0" effort="50"/>
  </joint>
  <joint name="elbow" type="continuous">
    <parent link="upper"/><child link="lower"/><axis xyz="0 1 0"/>
  </joint>
  <joint name="flange" type="fixed">
    <parent link="lower"/><child link="tool"/>
  </joint>
</robot>
)";

const char* const kSrdf = R"(<?xml version="1.0"?>
<robot name="arm"><group name="arm"><chain base_link="base" tip_link="tool"/></group></robot>
)";

// The folder of this process, removed at exit.
class Workspace {
public:
  Workspace()
      : _dir(std::filesystem::temp_directory_path() / ("orvo2_config_fuzz_" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(_dir);
    write("arm.urdf", kUrdf, std::char_traits<char>::length(kUrdf));
    write("arm.srdf", kSrdf, std::char_traits<char>::length(kSrdf));
    // Only what a fault would print: errors of the libraries stay visible.
    Orvo::Journal::SetGlobalJournalLevel(3);
    Orvo::Logger::SetVerbosityLevel(3);
  }
  ~Workspace() {
    std::error_code ignored;
    std::filesystem::remove_all(_dir, ignored);
  }

  std::string write(const std::string& name, const char* data, std::size_t size) const {
    const std::string path = (_dir / name).string();
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(data, static_cast<std::streamsize>(size));
    return path;
  }

private:
  std::filesystem::path _dir;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const Workspace workspace;
  const std::string path = workspace.write("config.yaml", reinterpret_cast<const char*>(data), size);
  try {
    const Orvo::ConfigOptions options = Orvo::ConfigOptions::FromConfigFile(path);
    Orvo::OrvoInterface model;
    model.init(options);
    const Orvo::ConfigParser parser(YAML::LoadFile(path), model);
    parser.getHw();
    Orvo::ParameterManager params;
    Orvo::publish_extra_parameters(params, parser.getParameters());
    for (const std::string& thread : parser.getThreads()) {
      parser.getThreadSchedArgs(thread);
      parser.getThreadHalArgs(thread);
      parser.getThreadTaskArgs(thread);
    }
  } catch (const std::exception&) {
    // A refused configuration: the message is what orvocore prints.
  }
  return 0;
}
