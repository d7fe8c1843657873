#include "joint/gz_joint_server.h"

#include <string>

#include <fmt/format.h>

#include <gazebo/common/Console.hh>
#include <gazebo/common/Events.hh>
#include <gazebo/physics/Joint.hh>
#include <gazebo/physics/Model.hh>

#include "common/device_server_cycle.h"
#include "common/servable_devices.h"
#include "joint/joint_instance_gz.h"
#include "joint/pid_gains.h"

namespace Orvo {

namespace {
const char* const kDeviceType = "joint_gz";
}  // namespace

void GzJointServer::Load(gazebo::physics::ModelPtr _model, sdf::ElementPtr _sdf) {
  GzJointMap joints;
  int id = 0;
  for (const gazebo::physics::JointPtr& joint : _model->GetJoints()) {
    if (joint->HasType(gazebo::physics::Base::FIXED_JOINT)) continue;
    gzlog << fmt::format("found joint '{}' \n", joint->GetName());
    auto device = std::make_shared<JointInstanceGz>(Hal::DeviceInfo{joint->GetName(), kDeviceType, id++}, joint);
    _devices.push_back(device);
    joints[joint->GetName()] = device;
  }
  if (_sdf->HasElement("pid")) {
    apply_pid_gains(_sdf->GetElement("pid"), joints);
  }

  leave_out_unservable_devices(_devices);
  _server_manager = std::make_unique<ServerManager>(_devices, "shm", kDeviceType);
  _world_upd_connection = gazebo::event::Events::ConnectWorldUpdateBegin(
      [this](const gazebo::common::UpdateInfo& info) { on_gz_world_upd_begin(info); });
}

void GzJointServer::on_gz_world_upd_begin(const gazebo::common::UpdateInfo&) {
  run_device_server_cycle(_devices, *_server_manager);
}

}  // namespace Orvo

GZ_REGISTER_MODEL_PLUGIN(Orvo::GzJointServer)
