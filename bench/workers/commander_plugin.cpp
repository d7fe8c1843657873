// A control plug-in for the benchmark: it drives every joint_dummy joint
// through client-side devices, as a controller would: each run senses all
// joints, writes a position reference to each and moves them.

#include <cmath>
#include <memory>
#include <vector>

#include "framework/device_info.h"
#include "framework/parameter.h"
#include "orvo2/control_plugin_library.h"
#include "orvo2/device_container_base.h"
#include "orvo2/joint_base.h"

namespace {

class Commander : public Orvo::ControlPlugin {
public:
  using ControlPlugin::ControlPlugin;

  bool on_initialize() override {
    Orvo::Hal::HardwareDescription hw;
    getParam("/orvo_internal/hardware_description", hw);
    _clients = Orvo::Hal::DeviceContainerBase::MakeClient("joint_dummy", hw.getDeviceInfoAll("joint_dummy"));
    for (const auto& device : _clients->get_device_base_vector()) {
      if (auto joint = std::dynamic_pointer_cast<Orvo::Hal::JointBase>(device)) {
        _joints.push_back(std::move(joint));
      }
    }
    setAutostart(true);
    return !_joints.empty();
  }

  void run() override {
    _clients->sense_all();
    _phase += 0.001;
    const double reference = std::sin(_phase);
    for (const auto& joint : _joints) {
      joint->set_pos_ref(reference);
    }
    _clients->move_all();
  }

private:
  std::unique_ptr<Orvo::Hal::DeviceContainerBase> _clients;
  std::vector<std::shared_ptr<Orvo::Hal::JointBase>> _joints;
  double _phase = 0.0;
};

}  // namespace

ORVO2_CONTROL_PLUGIN(bench_commander, Commander)
