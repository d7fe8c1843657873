// A control plug-in for the simulated robot test, loaded by orvocore by name
// (liborvoctrl_gz_test_position.so). Through client containers of the
// configured simulated devices it holds every "joint_gz" joint at its entry
// of the parameter "targets" (string_list, one number per joint, in the
// hardware description's order), with the gains the simulator echoes.
//
// It prints "gz_test_position: settled" once every joint has been within
// 0.005 of its target and still for 200 cycles, and when destroyed where each
// joint ended and what the sensors read ("gz_test_position: ..." lines).

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "devices/joint_records.h"
#include "framework/typed/parameter.h"
#include "orvo2/clock/simulated_clock.h"
#include "orvo2/devices/device_container_base.h"
#include "orvo2/devices/force_torque.h"
#include "orvo2/devices/imu.h"
#include "orvo2/devices/joint_base.h"
#include "orvo2/devices/link_state_sensor.h"
#include "orvo2/loading/control_plugin_library.h"

namespace {

using Orvo::Hal::DeviceContainerBase;

struct Range {
  double low = INFINITY;
  double high = -INFINITY;
  void add(double v) {
    low = std::fmin(low, v);
    high = std::fmax(high, v);
  }
  double span() const { return high > low ? high - low : 0.0; }
};

class PositionHold : public Orvo::ControlPlugin {
public:
  explicit PositionHold(const Args& args) : ControlPlugin(args) {
    const auto it = args.params.find("targets");
    if (it != args.params.end()) {
      if (const auto* list = std::get_if<std::vector<std::string>>(&it->second)) {
        for (const std::string& value : *list) _targets.push_back(std::strtod(value.c_str(), nullptr));
      }
    }
  }

  ~PositionHold() override {
    for (std::size_t i = 0; _joints && i < _targets.size(); ++i) {
      std::printf("gz_test_position: joint '%s' position %.6f target %.6f\n", joint(i).get_name().c_str(),
                  joint(i).get_link_pos(), _targets[i]);
    }
    std::printf("gz_test_position: clock seconds %.6f\n", _clock_seconds);
    std::printf("gz_test_position: imu rate span %.6f\n", _imu_rate.span());
    std::printf("gz_test_position: ft torque span %.6f\n", _ft_torque.span());
    std::printf("gz_test_position: flange x span %.6f\n", _flange_x.span());
    std::printf("gz_test_position: imu acceleration %.6f\n", _last_acceleration);
    std::printf("gz_test_position: ft force %.6f\n", _last_force);
    std::fflush(stdout);
  }

  bool on_initialize() override {
    Orvo::Hal::HardwareDescription hw;
    if (!getParam("/orvo_internal/hardware_description", hw)) return false;
    _joints = DeviceContainerBase::MakeClient("joint_gz", hw.getDeviceInfoAll("joint_gz"));
    _imus = DeviceContainerBase::MakeClient("imu_gz", hw.getDeviceInfoAll("imu_gz"));
    _fts = DeviceContainerBase::MakeClient("ft_gz", hw.getDeviceInfoAll("ft_gz"));
    _links = DeviceContainerBase::MakeClient("link_state_sensor", hw.getDeviceInfoAll("link_state_sensor"));
    setAutostart(true);
    return _targets.size() == _joints->get_device_base_vector().size() &&
           !_imus->get_device_base_vector().empty() && !_fts->get_device_base_vector().empty() &&
           _links->get_device_base_vector().size() == 2;
  }

  void run() override {
    const bool received = _joints->sense_all();
    _imus->sense_all();
    _fts->sense_all();
    _links->sense_all();
    if (!_holding) {
      if (!received) return;  // nothing from the simulator yet: send nothing either
      for (std::size_t i = 0; i < _targets.size(); ++i) {
        Orvo::Hal::joint_tx hold;
        hold.reset(joint(i).get_rx());
        joint(i).set_tx(hold);
        joint(i).set_pos_ref(_targets[i]);
      }
      _holding = true;
    }
    auto& imu = dynamic_cast<Orvo::Hal::Imu&>(*_imus->get_device_base_vector()[0]);
    auto& ft = dynamic_cast<Orvo::Hal::ForceTorque&>(*_fts->get_device_base_vector()[0]);
    auto& flange = dynamic_cast<Orvo::Hal::LinkStateSensor&>(*_links->get_device_base_vector()[1]);
    _imu_rate.add(imu.getAngularVelocity().norm());
    _ft_torque.add(ft.getWrench()(4));
    _flange_x.add(flange.getPose().translation().x());
    _last_acceleration = imu.getLinearAcceleration().norm();
    _last_force = ft.getWrench().head<3>().norm();
    _clock_seconds = std::chrono::duration<double>(Orvo::chrono::simulated_clock::now().time_since_epoch()).count();

    bool still = true;
    for (std::size_t i = 0; i < _targets.size(); ++i) {
      still = still && std::fabs(joint(i).get_link_pos() - _targets[i]) < 0.005 &&
              std::fabs(joint(i).get_link_vel()) < 0.01;
    }
    _still_cycles = still ? _still_cycles + 1 : 0;
    if (_still_cycles == 200) {
      std::printf("gz_test_position: settled\n");
      std::fflush(stdout);
    }
    _joints->move_all();
  }

private:
  Orvo::Hal::JointBase& joint(std::size_t i) {
    return dynamic_cast<Orvo::Hal::JointBase&>(*_joints->get_device_base_vector()[i]);
  }

  std::vector<double> _targets;
  std::unique_ptr<DeviceContainerBase> _joints;
  std::unique_ptr<DeviceContainerBase> _imus;
  std::unique_ptr<DeviceContainerBase> _fts;
  std::unique_ptr<DeviceContainerBase> _links;
  bool _holding = false;
  int _still_cycles = 0;
  Range _imu_rate;
  Range _ft_torque;
  Range _flange_x;
  double _last_acceleration = 0;
  double _last_force = 0;
  double _clock_seconds = 0;  // the process clock in the last cycle
};

}  // namespace

ORVO2_CONTROL_PLUGIN(gz_test_position, PositionHold)
