// The control plug-in "reach": moves one joint of its robot to a target
// position and holds it there. Every cycle it reads the joint's state and
// commands a position at most "step" away from the position it reads, so
// that the command stays within the joint's rate limit however the threads'
// cycles fall. Its private parameters (the task's `params`):
//   joint      string  the joint to move (required)
//   target     double  rad, default 0
//   step       double  rad per cycle, default 0.001
//   autostart  bool    start without a start command, default false
// Once the joint is at the target it says so in its journal, once per start.

#include <algorithm>
#include <cmath>
#include <string>

#include <orvo2.h>

#include "orvo2/robot/robot_interface_orvo2rt.h"
#include "orvo_interface/control_mode.h"

namespace {

class ReachPlugin : public Orvo::ControlPlugin {
public:
  using ControlPlugin::ControlPlugin;

  // The plug-in's thread, once: finds the joint, reads the parameters. May
  // allocate and log; false refuses to run (the task ends InitFailed).
  bool on_initialize() override {
    auto* realtime = dynamic_cast<Orvo::RobotInterfaceOrvo2Rt*>(robot().get());
    if (realtime == nullptr) {
      jerror("reach '{}': no real-time robot interface \n", getName());
      return false;
    }
    _joint_name = getParamOr<std::string>("~joint", "");
    if (!realtime->hasJoint(_joint_name)) {
      jerror("reach '{}': the robot has no joint '{}' (parameter 'joint') \n", getName(), _joint_name);
      return false;
    }
    const auto device = realtime->getJointMap().find(realtime->getJointByName(_joint_name)->getJointId());
    if (device == realtime->getJointMap().end()) {
      jerror("reach '{}': joint '{}' has no joint device \n", getName(), _joint_name);
      return false;
    }
    _joint = device->second.get();
    _target = getParamOr<double>("~target", 0.0);
    _step = std::abs(getParamOr<double>("~step", 0.001));
    setAutostart(getParamOr<bool>("~autostart", false));
    return realtime->setControlMode(_joint_name, Orvo::ControlMode::Position());
  }

  // The plug-in's thread, each cycle until the start completes: starts once
  // the robot has read the joints' state.
  void starting() override {
    if (robot()->sense()) {
      _reported = false;
      start_completed();
    }
  }

  // The plug-in's thread, every cycle: real-time. No allocation, no blocking
  // call, no exception, no file or console output of its own (the journal
  // formats without allocating and a non-real-time thread prints it).
  void run() override {
    robot()->sense();
    const double position = _joint->get_link_pos();
    const double error = _target - position;
    _joint->set_pos_ref(position + std::clamp(error, -_step, _step));
    robot()->move();
    if (!_reported && std::abs(error) < 1e-6) {
      _reported = true;
      jhigh().jok("reach '{}': joint '{}' at {} rad \n", getName(), _joint_name, _target);
    }
  }

private:
  std::string _joint_name;
  Orvo::Hal::JointApi* _joint = nullptr;
  double _target = 0.0;
  double _step = 0.001;
  bool _reported = false;
};

}  // namespace

ORVO2_CONTROL_PLUGIN(reach, ReachPlugin)
