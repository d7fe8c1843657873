#include "link_state/gz_link_state_sensor.h"

#include <string>

#include <fmt/format.h>

#include <gazebo/common/Console.hh>
#include <gazebo/common/Events.hh>
#include <gazebo/physics/Link.hh>
#include <gazebo/physics/Model.hh>

#include "common/device_server_cycle.h"
#include "common/servable_devices.h"
#include "link_state/link_state_sensor_gz.h"

namespace Orvo {

namespace {
const char* const kDeviceType = "link_state_sensor";
}  // namespace

void GzLinkStateSensor::Load(gazebo::physics::ModelPtr _model, sdf::ElementPtr _sdf) {
  if (_sdf->HasElement("links")) {
    for (sdf::ElementPtr element = _sdf->GetElement("links")->GetFirstElement(); element;
         element = element->GetNextElement()) {
      if (element->GetName() != "link") {
        gzerr << fmt::format("unsupported sdf element '{}'", element->GetName());
        continue;
      }
      std::string name;
      if (const sdf::ParamPtr attribute = element->GetAttribute("name")) {
        name = attribute->GetAsString();
      } else {
        gzerr << "link element must have attribute 'name'";
      }
      const gazebo::physics::LinkPtr link = _model->GetLink(name);
      if (!link) {
        gzerr << fmt::format("unable to get link '{}'", name);
        continue;
      }
      _devices.push_back(std::make_shared<LinkStateSensorGz>(Hal::DeviceInfo{name + "_lss", kDeviceType, 0}, link));
    }
  }

  leave_out_unservable_devices(_devices);
  _server_manager = std::make_unique<ServerManager>(_devices, "shm", kDeviceType);
  _world_upd_connection = gazebo::event::Events::ConnectWorldUpdateBegin(
      [this](const gazebo::common::UpdateInfo& info) { on_gz_world_upd_begin(info); });
}

void GzLinkStateSensor::on_gz_world_upd_begin(const gazebo::common::UpdateInfo&) {
  run_device_server_cycle(_devices, *_server_manager);
}

}  // namespace Orvo

GZ_REGISTER_MODEL_PLUGIN(Orvo::GzLinkStateSensor)
