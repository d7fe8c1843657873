#pragma once
// The real-time robot interface: one per control plug-in. Its joints are
// client-side joint devices, detached from their own topics and served by the
// joint master instead: sense() takes the master's aggregated rx into every
// joint's rx record; the joints' tx records are the entries of the aggregated
// tx the interface holds on loan, and move() publishes it carrying, per
// joint, the fields set since the last move plus those the joint's control
// mode always sends. Sensor devices are client containers of their device
// libraries. Made by libRobotInterfaceOrvo2Rt (create_instance).

#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "framework/primitives/device_info.h"
#include "orvo2/devices/device_base.h"
#include "orvo2/devices/device_container_base.h"
#include "orvo2/devices/joint_api.h"
#include "orvo_interface/robot_interface.h"

namespace Orvo {

template <typename T>
class MessageAdapter;
template <typename T>
class Publisher;
template <typename T>
class Subscriber;

namespace Hal {
struct JointMasterRx;
struct JointMasterTx;
}  // namespace Hal

class RobotInterfaceOrvo2Rt : public RobotInterface {
public:
  using JointMap = std::map<int, std::shared_ptr<Hal::JointApi>>;
  using DeviceList = std::vector<std::shared_ptr<Hal::Device>>;

  // The joint master's device, whose topics carry the aggregated records.
  static constexpr const char* MasterType = "joint_master";
  static constexpr const char* MasterName = "all_joints";
  // The parameter that holds the configured devices by type.
  static constexpr const char* HardwareDescriptionParam = "/orvo_internal/hardware_description";

  // Set-up; allocates. An empty robot: init() builds it.
  RobotInterfaceOrvo2Rt();
  // Tear-down thread, once the owner stopped calling sense and move.
  ~RobotInterfaceOrvo2Rt() override;

  // The owner's thread, every cycle; never blocks, allocates or throws.
  // Delivers the newest aggregated rx into the joints' rx records and senses
  // every sensor container. True when a new aggregated rx was taken.
  bool sense() override;
  // The owner's thread, every cycle; never blocks, allocates or throws (once
  // the tx pool is warm, see init_robot). Publishes the aggregated tx when a
  // joint has something to send and loans the next one, where the joints'
  // records go on with their field marks cleared. False, keeping the marks
  // for the next move, when no next message could be loaned.
  bool move() override;

  // Set-up, before the first move; allocates. The sender named in every
  // aggregated tx (the owning task's name).
  void setOwner(const std::string& name);
  // Any thread once set-up is over.
  const std::string& getOwner() const { return _owner; }

  // Any thread once set-up is over; the references stay valid for the
  // robot's life. Joints by device id; every device (joints in id order,
  // then the sensor devices by type).
  const JointMap& getJointMap() const { return _joint_map; }
  const DeviceList& getDeviceList() const { return _devices; }

protected:
  // Set-up; allocates. Reads the hardware description parameter, makes one
  // detached joint per joint of the model that has a device id, a client
  // container per other device type (except the joint master's), subscribes
  // to the aggregated rx, advertises the aggregated tx and loans the first
  // one. Throws std::runtime_error naming what is missing or refused.
  bool init_robot(const ConfigOptions& options) override;

private:
  struct JointSlot {
    Hal::JointApi* joint = nullptr;  // held by _joint_map
    int id = 0;
    int model_index = 0;  // into getControlModes()
    // Fields whose value means something: those ever set, all once seeded
    // from the joint's first rx.
    uint8_t valid_fields = 0;
    bool seeded = false;
  };

  // The steps of init_robot.
  void release();
  Hal::HardwareDescription read_hardware(const ConfigOptions& options) const;
  // Returns the device types of the joints.
  std::set<std::string> make_joints(const Hal::HardwareDescription& hw, const ConfigOptions& options);
  void make_sensors(const Hal::HardwareDescription& hw, const std::set<std::string>& joint_types,
                    const ConfigOptions& options);
  void open_topics(const ConfigOptions& options);

  void on_aggr_rx_recv(const Hal::JointMasterRx& msg);
  // The slot of joint `id`, entry `index` of an aggregated rx; null for none.
  JointSlot* slot_of(size_t index, int id);
  // Sender, joint list and entry count of an aggregated tx.
  void prepare(Hal::JointMasterTx& msg) const;
  bool prepared(const Hal::JointMasterTx& msg) const;
  // Set-up: writes prepare() into every message of the tx pool that can be
  // loaned now, so that move() finds them at their final size.
  void prime_tx_pool();

  std::string _owner = "robot_interface";
  JointMap _joint_map;
  // The joints in id order, as the entries of an aggregated tx.
  std::vector<JointSlot> _joints;
  std::vector<Hal::DeviceInfo> _tx_info;
  std::vector<std::unique_ptr<Hal::DeviceContainerBase>> _sensor_containers;
  DeviceList _devices;
  std::shared_ptr<Publisher<Hal::JointMasterTx>> _tx_pub;
  // The aggregated tx on loan, and its entries: the joints' tx records.
  std::shared_ptr<MessageAdapter<Hal::JointMasterTx>> _tx_loan;
  Hal::joint_tx* _tx_entries = nullptr;
  bool _rx_fresh = false;
  // Last: its callback points at this object, so it goes first.
  std::shared_ptr<Subscriber<Hal::JointMasterRx>> _rx_sub;
};

}  // namespace Orvo
