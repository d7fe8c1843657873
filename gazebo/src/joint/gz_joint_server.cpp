#include "joint/gz_joint_server.h"

#include <string>

#include <fmt/format.h>

#include <gazebo/common/Console.hh>
#include <gazebo/physics/Joint.hh>
#include <gazebo/physics/Model.hh>

#include "joint/joint_instance_gz.h"
#include "joint/pid_gains.h"

namespace Orvo {

namespace {
const char* const kDeviceType = "joint_gz";
}  // namespace

GzJointServer::GzJointServer() : GzDeviceServer(kDeviceType) {}

void GzJointServer::discover_devices(const gazebo::physics::ModelPtr& model,
                                     const sdf::ElementPtr& plugin_element, GzDeviceList& devices) {
  GzJointMap joints;
  int id = 0;
  for (const gazebo::physics::JointPtr& joint : model->GetJoints()) {
    if (joint->HasType(gazebo::physics::Base::FIXED_JOINT)) continue;
    gzlog << fmt::format("found joint '{}' \n", joint->GetName());
    auto device = std::make_shared<JointInstanceGz>(Hal::DeviceInfo{joint->GetName(), kDeviceType, id++}, joint);
    devices.push_back(device);
    joints[joint->GetName()] = device;
  }
  if (plugin_element->HasElement("pid")) {
    apply_pid_gains(plugin_element->GetElement("pid"), joints);
  }
}

}  // namespace Orvo

GZ_REGISTER_MODEL_PLUGIN(Orvo::GzJointServer)
