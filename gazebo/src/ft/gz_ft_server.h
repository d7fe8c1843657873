#pragma once
// Model plug-in liborvo2_gz_ft_server: serves the force-torque sensors of its model (found in
// the simulator's sensor manager, see model_sensor_discovery.h) as "ft_gz"
// devices on the "shm" channel "ft_gz". Its model-description element is not read.

#include <memory>
#include <vector>

#include <gazebo/common/Event.hh>
#include <gazebo/common/Plugin.hh>
#include <gazebo/common/UpdateInfo.hh>

#include "orvo2/device_rt.h"
#include "orvo2/server_manager.h"

namespace Orvo {

class GzFtServer : public gazebo::ModelPlugin {
public:
  GzFtServer() = default;
  // Simulator thread; system calls. The channel closes first, then the
  // devices go, then the world-update callback is unregistered.
  ~GzFtServer() override = default;

  // Simulator loading thread, once; allocates, prints, makes system calls.
  // Finds the sensors, opens the channel, then connects to the world updates.
  // Throws what the channel's creation throws.
  void Load(gazebo::physics::ModelPtr _model, sdf::ElementPtr _sdf) override;

  // World-update thread, once per world update; allocates nothing, never throws.
  void on_gz_world_upd_begin(const gazebo::common::UpdateInfo& info);

private:
  gazebo::event::ConnectionPtr _world_upd_connection;
  std::vector<std::shared_ptr<Hal::DeviceRt>> _devices;
  std::unique_ptr<ServerManager> _server_manager;
};

}  // namespace Orvo
