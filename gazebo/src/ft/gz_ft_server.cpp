#include "ft/gz_ft_server.h"

#include <gazebo/common/Events.hh>
#include <gazebo/sensors/ForceTorqueSensor.hh>

#include "common/device_server_cycle.h"
#include "common/model_sensor_discovery.h"
#include "common/servable_devices.h"
#include "ft/force_torque_gz.h"

namespace Orvo {

namespace {
const char* const kDeviceType = "ft_gz";
}  // namespace

void GzFtServer::Load(gazebo::physics::ModelPtr _model, sdf::ElementPtr) {
  discover_model_sensors<gazebo::sensors::ForceTorqueSensor, ForceTorqueGz>(*_model, kDeviceType,
                                                  "ft '{}' found with type 'ForceTorqueSensor' \n", _devices);

  leave_out_unservable_devices(_devices);
  _server_manager = std::make_unique<ServerManager>(_devices, "shm", kDeviceType);
  _world_upd_connection = gazebo::event::Events::ConnectWorldUpdateBegin(
      [this](const gazebo::common::UpdateInfo& info) { on_gz_world_upd_begin(info); });
}

void GzFtServer::on_gz_world_upd_begin(const gazebo::common::UpdateInfo&) {
  run_device_server_cycle(_devices, *_server_manager);
}

}  // namespace Orvo

GZ_REGISTER_MODEL_PLUGIN(Orvo::GzFtServer)
