#pragma once
// The example robot's arm (examples/dummy_robot/) in a test's own folder.

#include <fstream>
#include <sstream>
#include <string>

#include "temp_dir.h"

namespace OrvoTest {

// The whole text of a file; empty when it cannot be read.
inline std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Copies the arm's URDF and SRDF from `example_dir` (ending in '/') into `dir`.
inline void copy_dummy_arm(const TempDir& dir, const std::string& example_dir) {
  dir.write("dummy_arm.urdf", read_file(example_dir + "dummy_arm.urdf"));
  dir.write("dummy_arm.srdf", read_file(example_dir + "dummy_arm.srdf"));
}

// The configuration's "robot" and "joints" sections for the arm's six dummy
// joints (ids 1 to 6), files as copy_dummy_arm leaves them; the caller adds
// the other sections.
inline std::string dummy_arm_robot_yaml() {
  return R"(robot:
  urdf: dummy_arm.urdf
  srdf: dummy_arm.srdf
joints:
  joint_dummy:
    - {name: shoulder_yaw, id: 1}
    - {name: shoulder_pitch, id: 2}
    - {name: elbow_pitch, id: 3}
    - {name: wrist_roll, id: 4}
    - {name: wrist_pitch, id: 5}
    - {name: wrist_yaw, id: 6}
)";
}

}  // namespace OrvoTest
