#include "joint_driver_container.h"

#include <string>

#include "framework/primitives/debug.h"
#include "framework/typed/parameter.h"

namespace Orvo {
namespace Hal {

JointDriverContainer::JointDriverContainer(std::vector<DeviceInfo> infos)
    : DeviceContainer<JointDriver>(std::move(infos)), Task("joint_gz", "", {}, false) {
  std::vector<std::shared_ptr<DeviceRt>> devices(get_device_vector().begin(),
                                                 get_device_vector().end());
  const std::string client_name = getParamOr<std::string>("~client_name", "joint_gz");
  const std::string transport = getParamOr<std::string>("/client_manager/transport", "shm");
  _client_manager = std::make_unique<ClientManager>(std::move(devices), transport, client_name);
  _server_pub = advertise_record<DeviceServer>(ServerTopicName("joint_gz"), DeviceServer{}, "joint_gz");
}

bool JointDriverContainer::sense_all() {
  _reset_this_cycle = false;
  if (!_server_alive) {
    _server_alive = _client_manager->check_server_alive();
    ORVO2_DEBUG_TRACE(0, "sense_all", "joint_gz srv not alive yet.. \n");
    return false;
  }
  if (!_client_manager->recv()) {
    if (_client_manager->server_generation() != _reset_generation) {
      announce_server(0);  // the drivers still hold a server's records that is gone
    }
    return false;
  }
  const std::uint64_t generation = _client_manager->server_generation();
  if (generation != _reset_generation) {
    hold_all();
    _reset_generation = generation;
    _reset_this_cycle = true;
  }
  const bool sensed = DeviceContainerBase::sense_all();
  // After the drivers' rx: whoever sees the notice has the new records queued.
  announce_server(generation);
  return sensed;
}

bool JointDriverContainer::move_all() {
  if (_reset_generation == 0) {
    return false;
  }
  DeviceContainerBase::move_all();
  if (_reset_this_cycle) {
    // What arrived was commanded before the reset, for the previous server's state.
    hold_all();
  }
  // A server not yet received from gets nothing: its commands are not reset yet.
  if (_client_manager->server_generation() == _reset_generation) {
    _client_manager->send();
  }
  return true;
}

void JointDriverContainer::hold_all() {
  for (const std::shared_ptr<JointDriver>& driver : get_device_vector()) {
    joint_tx hold;
    hold.reset(driver->rx_record());
    driver->set_tx_record(hold);
  }
}

void JointDriverContainer::announce_server(std::uint64_t generation) {
  if (generation == _announced_generation) {
    return;
  }
  if (auto notice = _server_pub->loanMessage()) {
    notice->value().generation = generation;
    _server_pub->publishLoaned(std::move(notice));
    _announced_generation = generation;
  }
}

}  // namespace Hal
}  // namespace Orvo
