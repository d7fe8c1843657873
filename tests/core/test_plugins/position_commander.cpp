// A control plug-in for the end-to-end tests: it puts every joint of its
// robot in position mode and, while running, ramps each joint's position
// reference towards "target" (double, rad, default 0.3) by at most "step"
// (double, rad per cycle, default 0.001) from the position it senses, so
// that a command never moves further than one step from what the joint
// master last sent, however the threads' cycles fall. "autostart" (bool,
// default false) starts it without a start command. Once every joint senses
// the target it says so in its journal, once per start.

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "orvo2/loading/control_plugin_library.h"
#include "orvo2/robot/robot_interface_orvo2rt.h"
#include "orvo_interface/control_mode.h"
#include "param_or.h"

namespace {

using OrvoTest::param_or;

class PositionCommander : public Orvo::ControlPlugin {
public:
  explicit PositionCommander(const Args& args)
      : ControlPlugin(args),
        _target(param_or(args.params, "target", 0.3)),
        _step(param_or(args.params, "step", 0.001)),
        _autostart(param_or(args.params, "autostart", false)) {}

  bool on_initialize() override {
    auto* realtime = dynamic_cast<Orvo::RobotInterfaceOrvo2Rt*>(robot().get());
    if (realtime == nullptr) {
      jhigh().jerror("position_commander '{}': no real-time robot interface \n", getName());
      return false;
    }
    for (const auto& entry : realtime->getJointMap()) {
      _joints.push_back(entry.second.get());
    }
    setAutostart(_autostart);
    return !_joints.empty() && robot()->setControlMode(Orvo::ControlMode::Position());
  }

  // Running only once the robot has sensed the joints' state.
  void starting() override {
    if (robot()->sense()) {
      _reported = false;
      start_completed();
    }
  }

  void run() override {
    robot()->sense();
    bool arrived = true;
    for (Orvo::Hal::JointApi* joint : _joints) {
      const double position = joint->get_link_pos();
      const double error = _target - position;
      joint->set_pos_ref(position + std::clamp(error, -_step, _step));
      arrived = arrived && std::abs(error) < 1e-6;
    }
    robot()->move();
    if (arrived && !_reported) {
      _reported = true;
      jhigh().jok("position_commander '{}': all {} joints sensed at {} rad \n", getName(), _joints.size(), _target);
    }
  }

private:
  double _target;
  double _step;
  bool _autostart;
  bool _reported = false;
  std::vector<Orvo::Hal::JointApi*> _joints;
};

}  // namespace

ORVO2_CONTROL_PLUGIN(position_commander, PositionCommander)
