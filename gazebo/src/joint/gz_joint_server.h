#pragma once
// Model plug-in liborvo2_gz_joint_server: serves every non-fixed joint of its
// model as a "joint_gz" device on the "shm" channel "joint_gz", with the
// gains of its `pid` element (see pid_gains.h).

#include <memory>
#include <vector>

#include <gazebo/common/Event.hh>
#include <gazebo/common/Plugin.hh>
#include <gazebo/common/UpdateInfo.hh>

#include "orvo2/device_rt.h"
#include "orvo2/server_manager.h"

namespace Orvo {

class GzJointServer : public gazebo::ModelPlugin {
public:
  GzJointServer() = default;
  // Simulator thread; system calls. The channel closes first, then the
  // devices go, then the world-update callback is unregistered.
  ~GzJointServer() override = default;

  // Simulator loading thread, once; allocates, logs, makes system calls.
  // Discovers the joints, applies the gains, opens the channel, then connects
  // to the world updates. Throws what the channel's creation throws.
  void Load(gazebo::physics::ModelPtr _model, sdf::ElementPtr _sdf) override;

  // World-update thread, once per world update; allocates nothing, never throws.
  void on_gz_world_upd_begin(const gazebo::common::UpdateInfo& info);

private:
  gazebo::event::ConnectionPtr _world_upd_connection;
  std::vector<std::shared_ptr<Hal::DeviceRt>> _devices;
  std::unique_ptr<ServerManager> _server_manager;
};

}  // namespace Orvo
