// A control plug-in that commands the position of every joint of the robot
// in every cycle, along the path of commanded_path.h: the load that the ROS
// robustness tests keep on the robot while they attack the bridge.

#include <utility>
#include <vector>

#include "commanded_path.h"
#include "orvo2/loading/control_plugin_library.h"
#include "orvo2/robot/robot_interface_orvo2rt.h"
#include "orvo_interface/control_mode.h"

namespace Orvo {

class SteadyCommander : public ControlPlugin {
public:
  explicit SteadyCommander(const ControlPlugin::Args& args) : ControlPlugin(args) {}

  bool on_initialize() override {
    const auto* rt = dynamic_cast<const RobotInterfaceOrvo2Rt*>(robot().get());
    if (rt == nullptr) {
      jwarn("task '{}' has no real-time robot interface: nothing to command \n", getName());
      return false;
    }
    for (const auto& [id, joint] : rt->getJointMap()) {
      _joints.emplace_back(id, joint.get());
    }
    robot()->setControlMode(ControlMode::Position());
    setAutostart(true);
    return true;
  }

  // Worker thread, every cycle; allocates nothing. The path advances by one
  // step per aggregated state the joint master sends, that is per cycle of
  // the thread that applies the commands: when this thread runs several
  // cycles in one of the master's (a late master, or this thread catching up
  // after a delay), the master still sees at most two steps at once and the
  // joints stay well within their rate limits.
  void run() override {
    if (robot()->sense()) {
      ++_step;
    }
    for (const auto& [id, joint] : _joints) {
      joint->set_pos_ref(OrvoTest::commanded_position(id, _step));
    }
    robot()->move();
  }

private:
  std::vector<std::pair<int, Hal::JointApi*>> _joints;
  uint64_t _step = 0;
};

}  // namespace Orvo

ORVO2_CONTROL_PLUGIN(steady_commander, Orvo::SteadyCommander)
