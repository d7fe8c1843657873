// A control plug-in for the benchmark: it commands every joint of its robot
// through the real-time robot interface, as a position controller would.
// Each run senses, sets each joint's position reference one step (at most
// 0.5 mrad) from its sensed position towards a slow sine of 0.5 rad, and
// moves: one aggregated command for all joints per cycle.

#include <algorithm>
#include <cmath>
#include <vector>

#include "orvo2/loading/control_plugin_library.h"
#include "orvo2/robot/robot_interface_orvo2rt.h"
#include "orvo_interface/control_mode.h"

namespace {

constexpr double kStep = 0.0005;  // rad per cycle, a quarter of the arm's rate limit

class Commander : public Orvo::ControlPlugin {
public:
  using ControlPlugin::ControlPlugin;

  bool on_initialize() override {
    auto* realtime = dynamic_cast<Orvo::RobotInterfaceOrvo2Rt*>(robot().get());
    if (realtime == nullptr) {
      jhigh().jerror("bench_commander '{}': no real-time robot interface \n", getName());
      return false;
    }
    for (const auto& entry : realtime->getJointMap()) {
      _joints.push_back(entry.second.get());
    }
    setAutostart(true);
    return !_joints.empty() && robot()->setControlMode(Orvo::ControlMode::Position());
  }

  void starting() override {
    if (robot()->sense()) {
      start_completed();
    }
  }

  void run() override {
    robot()->sense();
    _phase += 0.001;
    const double target = 0.5 * std::sin(_phase);
    for (Orvo::Hal::JointApi* joint : _joints) {
      const double position = joint->get_link_pos();
      joint->set_pos_ref(position + std::clamp(target - position, -kStep, kStep));
    }
    robot()->move();
  }

private:
  std::vector<Orvo::Hal::JointApi*> _joints;
  double _phase = 0.0;
};

}  // namespace

ORVO2_CONTROL_PLUGIN(bench_commander, Commander)
