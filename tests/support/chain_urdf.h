#pragma once
// A generated robot for tests and benchmarks of many joints.

#include <string>

#include "robot_config.h"

namespace OrvoTest {

// A chain of `joints` revolute joints "joint_1".."joint_<n>" from "base_link"
// through "link_1".."link_<n>", 0.1 m apart, each with the dummy arm's
// shoulder limits (±2.9 rad, 2 rad/s, 80 N m).
inline std::string chain_urdf(const std::string& robot, int joints) {
  std::string urdf = "<?xml version=\"1.0\"?>\n<robot name=\"" + robot + "\">\n  <link name=\"base_link\"/>\n";
  for (int i = 1; i <= joints; ++i) {
    const std::string n = std::to_string(i);
    const std::string parent = i == 1 ? "base_link" : "link_" + std::to_string(i - 1);
    urdf += "  <link name=\"link_" + n + "\"/>\n  <joint name=\"joint_" + n + "\" type=\"revolute\">\n    <parent link=\"" +
            parent + "\"/>\n    <child link=\"link_" + n +
            "\"/>\n    <origin xyz=\"0 0 0.1\" rpy=\"0 0 0\"/>\n    <axis xyz=\"0 0 1\"/>\n"
            "    <limit lower=\"-2.9\" upper=\"2.9\" velocity=\"2.0\" effort=\"80.0\"/>\n  </joint>\n";
  }
  return urdf + "</robot>\n";
}

// The chain as a configuration: its URDF "<robot>.urdf" and its joints as
// dummy joints with ids 1 to `joints`; the caller adds the other sections.
inline RobotConfig chain_config(const std::string& robot, int joints) {
  RobotConfig config;
  config.urdf(robot + ".urdf", chain_urdf(robot, joints));
  for (int i = 1; i <= joints; ++i) {
    config.joint("joint_dummy", "joint_" + std::to_string(i), i);
  }
  return config;
}

}  // namespace OrvoTest
