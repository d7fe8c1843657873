#pragma once
// Driver-side container of simulated sensors: exchanges the records of all
// its devices with the simulator over the device channel named after the
// device type (transport "shm").
//
// sense_all(): until the simulator is alive, checks it once per cycle and
// returns false (also in the cycle in which the check succeeds); then
// receives every device's rx record and lets each driver publish it, false
// when nothing new arrived. move_all(): every driver takes its newest tx
// record, then all are sent; always true, also before the simulator is up.

#include <memory>
#include <string>
#include <vector>

#include "framework/typed/device_container.h"
#include "orvo2/channel/client_manager.h"

namespace Orvo {
namespace Hal {

template <typename Driver>
class SensorDriverContainer : public DeviceContainer<Driver> {
public:
  // Set-up; allocates. Throws what the devices or the client manager throw.
  SensorDriverContainer(std::vector<DeviceInfo> infos, const std::string& channel)
      : DeviceContainer<Driver>(std::move(infos)) {
    std::vector<std::shared_ptr<DeviceRt>> devices(this->get_device_vector().begin(),
                                                   this->get_device_vector().end());
    _client_manager = std::make_unique<ClientManager>(std::move(devices), "shm", channel);
  }

  // Control cycle, driving thread; never blocks, allocates or throws.
  bool sense_all() override {
    if (!_server_alive) {
      _server_alive = _client_manager->check_server_alive();
      return false;
    }
    if (!_client_manager->recv()) {
      return false;
    }
    return DeviceContainerBase::sense_all();
  }

  // Control cycle, driving thread; never blocks, allocates or throws.
  bool move_all() override {
    DeviceContainerBase::move_all();
    _client_manager->send();
    return true;
  }

private:
  bool _server_alive = false;
  std::unique_ptr<ClientManager> _client_manager;
};

}  // namespace Hal
}  // namespace Orvo
