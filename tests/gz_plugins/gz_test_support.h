#pragma once
// Helpers of the simulator plug-in tests: a world built from text with its
// plug-ins loaded by name, the robot end of a device channel, the device
// table a server published, and captured simulator console streams.

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <gazebo/common/Console.hh>
#include <gazebo/physics/physics.hh>

#include "devices/device_tpl_common.h"
#include "devices/joint_records.h"
#include "devices/sensor_records.h"
#include "orvo2/channel/client_manager.h"
#include "orvo2/channel/shm_channel_layout.h"
#include "orvo2/channel/shm_segment.h"
#include "orvo2/sim/plugin_host.h"
#include "orvo2/sim/world_loader.h"

namespace gz_test {

// A world and its model plug-ins, loaded as orvosim loads them. The plug-ins
// go first, so their channels close before the world is destroyed.
struct SimWorld {
  enum Source { Text, File };
  // From the description `sdf` (text, or the path of a file).
  explicit SimWorld(const std::string& sdf, Source source = Text)
      : world(source == File ? Orvo::load_sim_world(sdf) : Orvo::load_sim_world_from_string(sdf, "test model")),
        plugins(new Orvo::SimPluginHost) {
    plugins->load_all(world);
  }
  gazebo::physics::JointPtr joint(const std::string& model, const std::string& name) const {
    return world->ModelByName(model)->GetJoint(name);
  }
  gazebo::physics::LinkPtr link(const std::string& model, const std::string& name) const {
    return world->ModelByName(model)->GetLink(name);
  }

  gazebo::physics::WorldPtr world;
  std::unique_ptr<Orvo::SimPluginHost> plugins;
};

// The robot's view of one served device: its records only.
template <typename Rx, typename Tx>
class PeerDevice : public Orvo::Hal::DeviceTplCommon<Rx, Tx> {
public:
  PeerDevice(const std::string& name, const std::string& type)
      : Orvo::Hal::DeviceTplCommon<Rx, Tx>({name, type, 0}) {}
  bool sense() override { return true; }
  bool move() override { return true; }
  Rx& rx() { return this->_rx; }
  Tx& tx() { return this->_tx; }
};

using JointPeer = PeerDevice<Orvo::Hal::joint_rx, Orvo::Hal::joint_tx>;
using LinkPeer = PeerDevice<Orvo::Hal::LinkStateSensorRx, Orvo::Hal::LinkStateSensorTx>;
using ImuPeer = PeerDevice<Orvo::Hal::imu_rx, Orvo::Hal::imu_tx>;
using FtPeer = PeerDevice<Orvo::Hal::ft_rx, Orvo::Hal::ft_tx>;

// The robot end of the channel `type`, with one peer device per name.
template <typename Peer>
class RobotEnd {
public:
  RobotEnd(const std::string& type, const std::vector<std::string>& names) {
    std::vector<std::shared_ptr<Orvo::Hal::DeviceRt>> list;
    for (const std::string& name : names) {
      peers.push_back(std::make_shared<Peer>(name, type));
      list.push_back(peers.back());
    }
    client = std::make_unique<Orvo::ClientManager>(list, "shm", type);
  }
  Peer& operator[](std::size_t i) { return *peers.at(i); }

  std::vector<std::shared_ptr<Peer>> peers;
  std::unique_ptr<Orvo::ClientManager> client;
};

// The fields of a record made of T only, in their order.
template <typename T, typename Record>
std::vector<T> fields(const Record& record) {
  static_assert(sizeof(Record) % sizeof(T) == 0, "a record of T only");
  std::vector<T> out(sizeof(Record) / sizeof(T));
  std::memcpy(out.data(), &record, sizeof(Record));
  return out;
}

struct TableEntry {
  std::string name;
  std::string type;
  int id;
  bool operator==(const TableEntry& o) const { return name == o.name && type == o.type && id == o.id; }
};

inline std::ostream& operator<<(std::ostream& os, const TableEntry& e) {
  return os << "{" << e.name << ", " << e.type << ", " << e.id << "}";
}

// The device table of the live channel `name`, in the server's order; empty
// with a test failure when there is no such channel.
inline std::vector<TableEntry> channel_table(const std::string& name) {
  Orvo::shm::ShmSegment segment;
  std::vector<TableEntry> table;
  if (segment.open_existing("/orvo2_" + name) != 0) {
    ADD_FAILURE() << "no channel '" << name << "'";
    return table;
  }
  const auto* header = reinterpret_cast<const Orvo::shm::ChannelHeader*>(segment.data());
  const auto* entries =
      reinterpret_cast<const Orvo::shm::DeviceEntry*>(segment.data() + Orvo::shm::table_offset());
  for (std::uint32_t i = 0; i < header->device_count; ++i) {
    table.push_back({entries[i].name, entries[i].type, entries[i].id});
  }
  return table;
}

// The number of rx frames the server of channel `name` has sent; 0 without one.
inline std::uint64_t channel_rx_frames(const std::string& name) {
  Orvo::shm::ShmSegment segment;
  if (segment.open_existing("/orvo2_" + name) != 0) return 0;
  return reinterpret_cast<const Orvo::shm::ChannelHeader*>(segment.data())->rx_frame.load();
}

// True while a segment of that channel name exists.
inline bool channel_exists(const std::string& name) {
  Orvo::shm::ShmSegment segment;
  return segment.open_existing("/orvo2_" + name) == 0;
}

// Sends a simulator console stream into a string while in scope.
class ConsoleCapture {
public:
  explicit ConsoleCapture(gazebo::common::Logger& stream, std::ostream* restore)
      : _stream(stream), _restore(restore) {
    _stream.SetTarget(&_text);
  }
  ~ConsoleCapture() { _stream.SetTarget(_restore); }
  ConsoleCapture(const ConsoleCapture&) = delete;
  ConsoleCapture& operator=(const ConsoleCapture&) = delete;

  std::string text() const { return _text.str(); }

private:
  gazebo::common::Logger& _stream;
  std::ostream* _restore;
  std::ostringstream _text;
};

}  // namespace gz_test
