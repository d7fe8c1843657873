#pragma once
// Driver side of the simulated joints: one plain joint driver per configured
// joint, exchanging records with the simulator's joint server over the
// device channel. The channel's name is the parameter "~client_name" of the
// task "joint_gz" (default "joint_gz"), its transport the parameter
// "/client_manager/transport" (default "shm").
//
// States: waiting for the simulator (sense_all checks it, both return
// false), connected (the first successful receive resets every command from
// the sensed state so that the joints hold still), running (move_all moves
// the drivers and sends their commands, true). A new simulator on the channel
// is met as the first one: its first receive resets the commands from its
// sensed state, and nothing is sent to it before; the first frame it gets
// holds those reset commands, not what was commanded for its predecessor.
// The server whose records the drivers hold is published on
// ServerTopicName("joint_gz") (orvo2/devices/device_server.h).

#include <cstdint>
#include <memory>
#include <vector>

#include "devices/device_driver_tpl.h"
#include "framework/typed/device_container.h"
#include "orvo2/channel/client_manager.h"
#include "orvo2/devices/device_server.h"
#include "orvo2/tasks/task.h"

namespace Orvo {
namespace Hal {

using JointDriver = DeviceDriverTpl<joint_rx, joint_tx>;

class JointDriverContainer : public DeviceContainer<JointDriver>, private Task {
public:
  // Set-up; allocates. Throws what the drivers or the client manager throw.
  explicit JointDriverContainer(std::vector<DeviceInfo> infos);

  // Control cycle, driving thread; never blocks, allocates or throws.
  bool sense_all() override;
  bool move_all() override;

private:
  // Every driver's command: hold it where its rx record is.
  void hold_all();
  // Publishes `generation` when it differs from the one last published.
  void announce_server(std::uint64_t generation);

  // Destroyed first: the channel closes before the drivers go.
  std::unique_ptr<ClientManager> _client_manager;
  bool _server_alive = false;
  // The server whose sensed state the commands were last reset from; 0
  // before the first receive.
  std::uint64_t _reset_generation = 0;
  // The commands were reset in this cycle's sense_all.
  bool _reset_this_cycle = false;
  std::shared_ptr<Publisher<DeviceServer>> _server_pub;
  std::uint64_t _announced_generation = 0;
};

}  // namespace Hal
}  // namespace Orvo
