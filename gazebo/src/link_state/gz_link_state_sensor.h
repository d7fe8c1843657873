#pragma once
// Model plug-in liborvo2_gz_link_state_sensor: serves the links that its
// `links` element lists as "link_state_sensor" devices named "<link>_lss",
// each with the id 0, on the "shm" channel "link_state_sensor".
//
//   <links><link name="flange"/><link name="forearm"/></links>

#include <memory>
#include <vector>

#include <gazebo/common/Event.hh>
#include <gazebo/common/Plugin.hh>
#include <gazebo/common/UpdateInfo.hh>

#include "orvo2/device_rt.h"
#include "orvo2/server_manager.h"

namespace Orvo {

class GzLinkStateSensor : public gazebo::ModelPlugin {
public:
  GzLinkStateSensor() = default;
  // Simulator thread; system calls. The channel closes first, then the
  // devices go, then the world-update callback is unregistered.
  ~GzLinkStateSensor() override = default;

  // Simulator loading thread, once; allocates, logs, makes system calls.
  // Finds the listed links, opens the channel, then connects to the world
  // updates. Bad entries are reported and skipped; throws what the channel's
  // creation throws.
  void Load(gazebo::physics::ModelPtr _model, sdf::ElementPtr _sdf) override;

  // World-update thread, once per world update; allocates nothing, never throws.
  void on_gz_world_upd_begin(const gazebo::common::UpdateInfo& info);

private:
  gazebo::event::ConnectionPtr _world_upd_connection;
  std::vector<std::shared_ptr<Hal::DeviceRt>> _devices;
  std::unique_ptr<ServerManager> _server_manager;
};

}  // namespace Orvo
