#pragma once
// Model plug-in liborvo2_gz_joint_server: serves every non-fixed joint of its
// model as a "joint_gz" device on the "shm" channel "joint_gz", with the
// gains of its `pid` element (see pid_gains.h).

#include "common/device_server_plugin.h"

namespace Orvo {

class GzJointServer : public GzDeviceServer {
public:
  GzJointServer();

private:
  // Simulator loading thread, from Load() only; allocates, logs. Discovers
  // the joints and applies the gains.
  void discover_devices(const gazebo::physics::ModelPtr& model,
                        const sdf::ElementPtr& plugin_element, GzDeviceList& devices) override;
};

}  // namespace Orvo
