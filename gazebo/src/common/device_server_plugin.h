#pragma once
// The frame of every simulator plug-in: Load finds the plug-in's devices,
// leaves out those its channel cannot serve, opens the "shm" channel named
// after the device type, then connects to the world updates; each world
// update runs the device-server cycle. A plug-in only says how it finds its
// devices.

#include <memory>
#include <string>
#include <utility>

#include <gazebo/common/Event.hh>
#include <gazebo/common/Events.hh>
#include <gazebo/common/Plugin.hh>
#include <gazebo/common/UpdateInfo.hh>

#include "common/device_server_cycle.h"
#include "common/servable_devices.h"
#include "orvo2/channel/server_manager.h"

namespace Orvo {

class GzDeviceServer : public gazebo::ModelPlugin {
public:
  // Simulator thread; system calls. The channel closes first, then the
  // devices go, then the world-update callback is unregistered.
  ~GzDeviceServer() override = default;

  // Simulator loading thread, once; allocates, logs, makes system calls.
  // Throws what discover_devices() or the channel's creation throws.
  void Load(gazebo::physics::ModelPtr _model, sdf::ElementPtr _sdf) final {
    discover_devices(_model, _sdf, _devices);
    leave_out_unservable_devices(_devices);
    _server_manager = std::make_unique<ServerManager>(_devices, "shm", _device_type);
    _world_upd_connection = gazebo::event::Events::ConnectWorldUpdateBegin(
        [this](const gazebo::common::UpdateInfo& info) { on_gz_world_upd_begin(info); });
  }

  // World-update thread, once per world update; allocates nothing, never throws.
  void on_gz_world_upd_begin(const gazebo::common::UpdateInfo&) {
    run_device_server_cycle(_devices, *_server_manager);
  }

protected:
  explicit GzDeviceServer(std::string device_type) : _device_type(std::move(device_type)) {}

  // Simulator loading thread, from Load() only; allocates. Appends the
  // model's devices, in the order they are served, to `devices`.
  virtual void discover_devices(const gazebo::physics::ModelPtr& model,
                                const sdf::ElementPtr& plugin_element, GzDeviceList& devices) = 0;

private:
  std::string _device_type;
  gazebo::event::ConnectionPtr _world_upd_connection;
  GzDeviceList _devices;
  std::unique_ptr<ServerManager> _server_manager;
};

}  // namespace Orvo
