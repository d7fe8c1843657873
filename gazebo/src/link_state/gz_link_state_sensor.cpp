#include "link_state/gz_link_state_sensor.h"

#include <string>

#include <fmt/format.h>

#include <gazebo/common/Console.hh>
#include <gazebo/physics/Link.hh>
#include <gazebo/physics/Model.hh>

#include "link_state/link_state_sensor_gz.h"

namespace Orvo {

namespace {
const char* const kDeviceType = "link_state_sensor";
}  // namespace

GzLinkStateSensor::GzLinkStateSensor() : GzDeviceServer(kDeviceType) {}

void GzLinkStateSensor::discover_devices(const gazebo::physics::ModelPtr& model,
                                         const sdf::ElementPtr& plugin_element, GzDeviceList& devices) {
  if (plugin_element->HasElement("links")) {
    for (sdf::ElementPtr element = plugin_element->GetElement("links")->GetFirstElement(); element;
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
      const gazebo::physics::LinkPtr link = model->GetLink(name);
      if (!link) {
        gzerr << fmt::format("unable to get link '{}'", name);
        continue;
      }
      devices.push_back(std::make_shared<LinkStateSensorGz>(Hal::DeviceInfo{name + "_lss", kDeviceType, 0}, link));
    }
  }
}

}  // namespace Orvo

GZ_REGISTER_MODEL_PLUGIN(Orvo::GzLinkStateSensor)
