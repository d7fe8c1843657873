#pragma once
// Model plug-in liborvo2_gz_link_state_sensor: serves the links that its
// `links` element lists as "link_state_sensor" devices named "<link>_lss",
// each with the id 0, on the "shm" channel "link_state_sensor".
//
//   <links><link name="flange"/><link name="forearm"/></links>

#include "common/device_server_plugin.h"

namespace Orvo {

class GzLinkStateSensor : public GzDeviceServer {
public:
  GzLinkStateSensor();

private:
  // Simulator loading thread, from Load() only; allocates, logs. Finds the
  // listed links; bad entries are reported and skipped.
  void discover_devices(const gazebo::physics::ModelPtr& model,
                        const sdf::ElementPtr& plugin_element, GzDeviceList& devices) override;
};

}  // namespace Orvo
