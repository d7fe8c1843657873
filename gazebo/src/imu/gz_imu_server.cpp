#include "imu/gz_imu_server.h"

#include <gazebo/sensors/ImuSensor.hh>

#include "common/model_sensor_discovery.h"
#include "imu/imu_gz.h"

namespace Orvo {

namespace {
const char* const kDeviceType = "imu_gz";
}  // namespace

GzImuServer::GzImuServer() : GzDeviceServer(kDeviceType) {}

void GzImuServer::discover_devices(const gazebo::physics::ModelPtr& model,
                                   const sdf::ElementPtr&, GzDeviceList& devices) {
  discover_model_sensors<gazebo::sensors::ImuSensor, ImuGz>(*model, kDeviceType,
                                                  "imu '{}' found with type 'ImuSensor' \n", devices);
}

}  // namespace Orvo

GZ_REGISTER_MODEL_PLUGIN(Orvo::GzImuServer)
