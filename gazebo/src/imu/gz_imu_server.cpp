#include "imu/gz_imu_server.h"

#include <gazebo/common/Events.hh>
#include <gazebo/sensors/ImuSensor.hh>

#include "common/device_server_cycle.h"
#include "common/model_sensor_discovery.h"
#include "common/servable_devices.h"
#include "imu/imu_gz.h"

namespace Orvo {

namespace {
const char* const kDeviceType = "imu_gz";
}  // namespace

void GzImuServer::Load(gazebo::physics::ModelPtr _model, sdf::ElementPtr) {
  discover_model_sensors<gazebo::sensors::ImuSensor, ImuGz>(*_model, kDeviceType,
                                                  "imu '{}' found with type 'ImuSensor' \n", _devices);

  leave_out_unservable_devices(_devices);
  _server_manager = std::make_unique<ServerManager>(_devices, "shm", kDeviceType);
  _world_upd_connection = gazebo::event::Events::ConnectWorldUpdateBegin(
      [this](const gazebo::common::UpdateInfo& info) { on_gz_world_upd_begin(info); });
}

void GzImuServer::on_gz_world_upd_begin(const gazebo::common::UpdateInfo&) {
  run_device_server_cycle(_devices, *_server_manager);
}

}  // namespace Orvo

GZ_REGISTER_MODEL_PLUGIN(Orvo::GzImuServer)
