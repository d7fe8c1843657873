#include "joint_driver_container.h"

#include <string>

#include "framework/debug.h"
#include "framework/parameter.h"

namespace Orvo {
namespace Hal {

JointDriverContainer::JointDriverContainer(std::vector<DeviceInfo> infos)
    : DeviceContainer<JointDriver>(std::move(infos)), Task("joint_gz", "", {}, false) {
  std::vector<std::shared_ptr<DeviceRt>> devices(get_device_vector().begin(),
                                                 get_device_vector().end());
  const std::string client_name = getParamOr<std::string>("~client_name", "joint_gz");
  const std::string transport = getParamOr<std::string>("/client_manager/transport", "shm");
  _client_manager = std::make_unique<ClientManager>(std::move(devices), transport, client_name);
}

bool JointDriverContainer::sense_all() {
  if (!_server_alive) {
    _server_alive = _client_manager->check_server_alive();
    ORVO2_DEBUG_TRACE(0, "sense_all", "joint_gz srv not alive yet.. \n");
    return false;
  }
  if (!_client_manager->recv()) {
    return false;
  }
  const std::uint64_t generation = _client_manager->server_generation();
  if (generation != _reset_generation) {
    for (const std::shared_ptr<JointDriver>& driver : get_device_vector()) {
      joint_tx hold;
      hold.reset(driver->rx_record());
      driver->set_tx_record(hold);
    }
    _reset_generation = generation;
  }
  return DeviceContainerBase::sense_all();
}

bool JointDriverContainer::move_all() {
  if (_reset_generation == 0) {
    return false;
  }
  DeviceContainerBase::move_all();
  // A server not yet received from gets nothing: its commands are not reset yet.
  if (_client_manager->server_generation() == _reset_generation) {
    _client_manager->send();
  }
  return true;
}

}  // namespace Hal
}  // namespace Orvo
