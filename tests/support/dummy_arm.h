#pragma once
// The example robot's arm (examples/dummy_robot/) in a test's configuration.

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "robot_config.h"

namespace OrvoTest {

// The whole text of a file; empty when it cannot be read.
inline std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The arm's joints in the order of their ids, 1 to 6.
inline const std::vector<std::string>& dummy_arm_joints() {
  static const std::vector<std::string> names = {"shoulder_yaw", "shoulder_pitch", "elbow_pitch",
                                                 "wrist_roll",   "wrist_pitch",    "wrist_yaw"};
  return names;
}

// The arm's URDF "dummy_arm.urdf" from `example_dir` (ending in '/') and
// `joints` of its joints as dummy joints with their ids; the caller adds the
// SRDF and the other sections. Throws std::invalid_argument for a joint the
// arm does not have.
inline RobotConfig dummy_arm_config(const std::string& example_dir,
                                    const std::vector<std::string>& joints = dummy_arm_joints()) {
  RobotConfig config;
  config.urdf("dummy_arm.urdf", read_file(example_dir + "dummy_arm.urdf"));
  for (const std::string& joint : joints) {
    const auto& names = dummy_arm_joints();
    size_t index = 0;
    while (index < names.size() && names[index] != joint) {
      ++index;
    }
    if (index == names.size()) {
      throw std::invalid_argument("the dummy arm has no joint '" + joint + "'");
    }
    config.joint("joint_dummy", joint, static_cast<int>(index) + 1);
  }
  return config;
}

// The same with the arm's first `count` joints (at most six).
inline RobotConfig dummy_arm_config(const std::string& example_dir, size_t count) {
  const auto& names = dummy_arm_joints();
  if (count > names.size()) {
    throw std::invalid_argument("the dummy arm has " + std::to_string(names.size()) + " joints, not " +
                                std::to_string(count));
  }
  return dummy_arm_config(example_dir, std::vector<std::string>(names.begin(), names.begin() + count));
}

}  // namespace OrvoTest
