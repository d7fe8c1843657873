#include "ft/gz_ft_server.h"

#include <gazebo/sensors/ForceTorqueSensor.hh>

#include "common/model_sensor_discovery.h"
#include "ft/force_torque_gz.h"

namespace Orvo {

namespace {
const char* const kDeviceType = "ft_gz";
}  // namespace

GzFtServer::GzFtServer() : GzDeviceServer(kDeviceType) {}

void GzFtServer::discover_devices(const gazebo::physics::ModelPtr& model,
                                  const sdf::ElementPtr&, GzDeviceList& devices) {
  discover_model_sensors<gazebo::sensors::ForceTorqueSensor, ForceTorqueGz>(*model, kDeviceType,
                                                  "ft '{}' found with type 'ForceTorqueSensor' \n", devices);
}

}  // namespace Orvo

GZ_REGISTER_MODEL_PLUGIN(Orvo::GzFtServer)
