#pragma once
// Model descriptions for the simulator plug-in tests.

#include <string>
#include <utility>
#include <vector>

namespace gz_test {

// A plugin element for one of the four servers ("joint_server",
// "link_state_sensor", "imu_server", "ft_server") with `inner` inside.
inline std::string plugin(const std::string& server, const std::string& inner = "") {
  return "<plugin name=\"" + server + "\" filename=\"liborvo2_gz_" + server + ".so\">" + inner + "</plugin>";
}

// The model "chain": a root link "l0" fixed to the world, then one link per
// joint (name, type), each 0.1 m above the previous one, turning or sliding
// about z; 1 kg and 0.1 kg m^2 each. `extra` goes at the end of the model.
inline std::string chain_model(const std::vector<std::pair<std::string, std::string>>& joints,
                               const std::string& extra) {
  std::string text = R"(<sdf version="1.7"><world name="w"><model name="chain">
    <link name="l0"><inertial><mass>1</mass></inertial></link>
    <joint name="root" type="fixed"><parent>world</parent><child>l0</child></joint>)";
  for (std::size_t i = 0; i < joints.size(); ++i) {
    const std::string parent = "l" + std::to_string(i);
    const std::string child = "l" + std::to_string(i + 1);
    text += "<link name=\"" + child + "\"><pose>0 0 " + std::to_string(0.1 * double(i + 1)) +
            " 0 0 0</pose><inertial><mass>1</mass><inertia><ixx>0.1</ixx><iyy>0.1</iyy><izz>0.1</izz>"
            "</inertia></inertial></link>";
    text += "<joint name=\"" + joints[i].first + "\" type=\"" + joints[i].second + "\"><parent>" + parent +
            "</parent><child>" + child + "</child><axis><xyz>0 0 1</xyz></axis></joint>";
  }
  return text + extra + "</model></world></sdf>";
}

}  // namespace gz_test
