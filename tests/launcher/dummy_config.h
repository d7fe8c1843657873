#pragma once
// The configuration of a small robot for the tests that start orvocore.

#include <fstream>
#include <sstream>
#include <string>

#include "temp_dir.h"

namespace OrvoTest {

// A robot of two dummy joints, copied with the example URDF into `dir`
// (or its `folder`), with `threads` as the configuration's "threads" section
// and `devices` as its "devices" section.
inline std::string write_dummy_config(const TempDir& dir, const std::string& threads, const std::string& folder = "",
                                      const std::string& devices = "") {
  std::ifstream urdf(std::string(ORVO2_EXAMPLES_DIR) + "/dummy_robot/dummy_arm.urdf");
  std::stringstream urdf_text;
  urdf_text << urdf.rdbuf();
  const std::string prefix = folder.empty() ? "" : folder + "/";
  dir.write(prefix + "dummy_arm.urdf", urdf_text.str());
  return dir.write(prefix + "config.yaml",
                   "robot:\n"
                   "  urdf: dummy_arm.urdf\n"
                   "joints:\n"
                   "  joint_dummy:\n"
                   "    - {name: shoulder_yaw, id: 1}\n"
                   "    - {name: shoulder_pitch, id: 2}\n" +
                       (devices.empty() ? "" : "devices:\n" + devices) + "threads:\n" + threads);
}

}  // namespace OrvoTest
