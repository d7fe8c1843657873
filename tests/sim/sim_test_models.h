#pragma once
// Small model descriptions for the simulator tests.

#include <string>

namespace sim_test {

// One joint named "j" between a root link "base" and a link "arm" one metre
// above it; the arm's mass is 2 kg and its inertia about z 0.5 kg m^2 (centre
// of mass on the joint's axis). axis_extra goes inside the axis element,
// joint_extra inside the joint element.
inline std::string one_joint_model(const std::string& type, const std::string& axis_extra,
                                   const std::string& joint_extra = "") {
  return R"(<sdf version="1.7"><model name="one_joint">
  <link name="base"><inertial><mass>1</mass></inertial></link>
  <link name="arm"><pose>0 0 1 0 0 0</pose>
    <inertial><mass>2</mass><inertia><ixx>0.3</ixx><iyy>0.3</iyy><izz>0.5</izz></inertia></inertial>
  </link>
  <joint name="j" type=")" + type + R"("><parent>base</parent><child>arm</child>
    <axis><xyz>0 0 1</xyz>)" + axis_extra + R"(</axis>)" + joint_extra + R"(
  </joint>
</model></sdf>)";
}

inline std::string data_file(const std::string& name) {
  return std::string(ORVO2_SIM_TEST_DATA) + "/" + name;
}

}  // namespace sim_test
