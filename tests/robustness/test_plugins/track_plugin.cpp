// A control plug-in for the robustness tests (liborvoctrl_robust_track.so):
// through its robot interface, and so through the joint master, it drives
// every joint towards its entry of the parameter "targets" (string_list, one
// number per joint in joint id order). Each joint's position reference starts
// at the first measured position and moves towards the target by at most
// "step" (double, default 0.0005) per state the joint master sends, that is
// per cycle of the master's thread: however the two threads are scheduled, at
// most two steps reach the master in one of its cycles, well within its rate
// limit. It never jumps, also when the joints do (a restarted simulator
// starts them from its model again).
//
// Output, one line each (flushed):
//   "robust_track: settled <n>, peak link velocity <v> rad/s" once every joint
//       has been within 0.005 of its target for 200 cycles, n counting such
//       episodes from 1, v the largest link velocity of any joint measured
//       since the previous such line;
//   "robust_track: lost <n>" when a joint of a settled robot leaves its target
//       by more than 0.05.

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <variant>
#include <vector>

#include "orvo2/loading/control_plugin_library.h"
#include "orvo2/robot/robot_interface_orvo2rt.h"
#include "orvo_interface/control_mode.h"

namespace {

class Track : public Orvo::ControlPlugin {
public:
  explicit Track(const Args& args) : ControlPlugin(args) {
    const auto targets = args.params.find("targets");
    if (targets != args.params.end()) {
      if (const auto* list = std::get_if<std::vector<std::string>>(&targets->second)) {
        for (const std::string& value : *list) _targets.push_back(std::strtod(value.c_str(), nullptr));
      }
    }
    const auto step = args.params.find("step");
    if (step != args.params.end() && std::holds_alternative<double>(step->second)) {
      _step = std::get<double>(step->second);
    }
  }

  bool on_initialize() override {
    _robot = dynamic_cast<Orvo::RobotInterfaceOrvo2Rt*>(robot().get());
    if (_robot == nullptr || _robot->getJointMap().size() != _targets.size()) return false;
    for (const auto& entry : _robot->getJointMap()) _joints.push_back(entry.second.get());
    _references.reserve(_joints.size());
    _robot->setControlMode(Orvo::ControlMode::Position());
    setAutostart(true);
    return true;
  }

  void run() override {
    const bool master_cycled = _robot->sense();
    if (master_cycled && _references.empty()) {
      for (Orvo::Hal::JointApi* joint : _joints) _references.push_back(joint->get_link_pos());
    }
    if (_references.empty()) return;  // nothing measured yet: command nothing
    bool near = true;
    bool far = false;
    for (std::size_t i = 0; i < _joints.size(); ++i) {
      if (master_cycled) {
        _references[i] += std::fmax(-_step, std::fmin(_step, _targets[i] - _references[i]));
        _peak_speed = std::fmax(_peak_speed, std::fabs(_joints[i]->get_link_vel()));
      }
      _joints[i]->set_pos_ref(_references[i]);
      const double error = _targets[i] - _joints[i]->get_link_pos();
      near = near && std::fabs(error) < 0.005;
      far = far || std::fabs(error) > 0.05;
    }
    _robot->move();
    _near_cycles = near ? _near_cycles + 1 : 0;
    if (!_settled && _near_cycles == 200) {
      _settled = true;
      std::printf("robust_track: settled %d, peak link velocity %.3f rad/s\n", ++_episodes, _peak_speed);
      std::fflush(stdout);
      _peak_speed = 0.0;
    } else if (_settled && far) {
      _settled = false;
      report("lost", _episodes);
    }
  }

private:
  static void report(const char* what, int episode) {
    std::printf("robust_track: %s %d\n", what, episode);
    std::fflush(stdout);
  }

  std::vector<double> _targets;
  double _step = 0.0005;
  Orvo::RobotInterfaceOrvo2Rt* _robot = nullptr;
  std::vector<Orvo::Hal::JointApi*> _joints;
  std::vector<double> _references;  // filled at the first state (capacity reserved at set-up)
  bool _settled = false;
  int _near_cycles = 0;
  int _episodes = 0;
  double _peak_speed = 0.0;  // rad/s, since the last "settled" line
};

}  // namespace

ORVO2_CONTROL_PLUGIN(robust_track, Track)
