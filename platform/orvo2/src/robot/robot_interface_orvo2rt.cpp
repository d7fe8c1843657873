#include "orvo2/robot/robot_interface_orvo2rt.h"

#include <algorithm>
#include <set>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "framework/typed/parameter.h"
#include "framework/typed/topic.h"
#include "orvo2/context/context.h"
#include "orvo2/devices/device_rt.h"
#include "orvo2/devices/joint_master_messages.h"
#include "orvo2/parameters/parameter_manager.h"
#include "orvo2/topics/topic_manager.h"
#include "orvo_interface/config_options.h"

namespace Orvo {
namespace {

// Newest aggregated state only: an older one still queued is of no use.
constexpr int kRxQueueSize = 1;

uint8_t mode_fields(const ControlMode& mode) {
  // The control-mode bits and the command's field-mask bits coincide:
  // position 1, velocity 2, effort 4, stiffness 8, damping 16.
  return static_cast<uint8_t>(mode.to_bitset().to_ulong());
}

}  // namespace

RobotInterfaceOrvo2Rt::RobotInterfaceOrvo2Rt() = default;

RobotInterfaceOrvo2Rt::~RobotInterfaceOrvo2Rt() { release(); }

bool RobotInterfaceOrvo2Rt::init_robot(const ConfigOptions& options) {
  release();
  const Hal::HardwareDescription hw = read_hardware(options);
  const std::set<std::string> joint_types = make_joints(hw, options);
  make_sensors(hw, joint_types, options);
  open_topics(options);
  return true;
}

void RobotInterfaceOrvo2Rt::release() {
  _rx_sub.reset();
  // A plug-in may keep a joint beyond the loan: its record goes back in.
  for (const JointSlot& slot : _joints) {
    slot.joint->keep_tx_in(nullptr, 0);
  }
  _tx_entries = nullptr;
  _tx_loan.reset();
  _tx_pub.reset();
  _devices.clear();
  _sensor_containers.clear();
  _tx_info.clear();
  _joints.clear();
  _joint_map.clear();
}

Hal::HardwareDescription RobotInterfaceOrvo2Rt::read_hardware(const ConfigOptions& options) const {
  try {
    return Context().paramManager().getParamOrThrow<Hal::HardwareDescription>(HardwareDescriptionParam);
  } catch (const ParameterUndefined&) {
    throw std::runtime_error(fmt::format(
        "robot interface for '{}': parameter '{}' (the hardware description) is not set",
        options.get_path(), HardwareDescriptionParam));
  }
}

std::set<std::string> RobotInterfaceOrvo2Rt::make_joints(const Hal::HardwareDescription& hw,
                                                         const ConfigOptions& options) {
  // Every joint of the model that a joint device drives, in id order.
  std::set<std::string> joint_types;
  std::vector<std::pair<JointSlot, std::shared_ptr<Hal::JointApi>>> made;
  const std::vector<std::string>& names = getJointNames();
  for (size_t index = 0; index < names.size(); ++index) {
    const int id = getJointByName(names[index])->getJointId();
    if (id == Joint::NoDevice) {
      continue;
    }
    const auto device = hw.by_name.find(names[index]);
    if (device == hw.by_name.end() || device->second.id != id) {
      throw std::runtime_error(fmt::format(
          "robot interface for '{}': joint '{}' (id {}) is not a device of the hardware description",
          options.get_path(), names[index], id));
    }
    joint_types.insert(device->second.type);
    auto joint = std::make_shared<Hal::JointApi>(device->second, Hal::JointApi::Topics::Detach);
    _joint_map.emplace(id, joint);
    JointSlot slot;
    slot.joint = joint.get();
    slot.id = id;
    slot.model_index = static_cast<int>(index);
    made.emplace_back(slot, std::move(joint));
  }
  std::sort(made.begin(), made.end(), [](const auto& a, const auto& b) { return a.first.id < b.first.id; });
  for (auto& joint : made) {
    _joints.push_back(joint.first);
    _tx_info.push_back(joint.second->get_devinfo());
    _devices.push_back(std::move(joint.second));
  }
  return joint_types;
}

void RobotInterfaceOrvo2Rt::make_sensors(const Hal::HardwareDescription& hw,
                                         const std::set<std::string>& joint_types,
                                         const ConfigOptions& options) {
  // Sensors and every other device: the client side of their libraries.
  for (const std::string& type : hw.types) {
    if (type == MasterType || joint_types.count(type) != 0) {
      continue;
    }
    auto container = Hal::DeviceContainerBase::MakeClient(type, hw.getDeviceInfoAll(type));
    if (!container) {
      throw std::runtime_error(fmt::format(
          "robot interface for '{}': the device library of type '{}' made no client container",
          options.get_path(), type));
    }
    for (const auto& device : container->get_device_base_vector()) {
      _devices.push_back(device);
    }
    _sensor_containers.push_back(std::move(container));
  }
}

void RobotInterfaceOrvo2Rt::open_topics(const ConfigOptions& options) {
  TopicManager& topics = Context().topicManager();
  const std::string rx_topic = Hal::DeviceRt::RxTopicName(MasterType, MasterName);
  const std::string tx_topic = Hal::DeviceRt::TxTopicName(MasterType, MasterName);
  Hal::JointMasterTx prototype;
  prepare(prototype);
  _tx_pub = topics.advertise<Hal::JointMasterTx>(tx_topic, std::move(prototype), _owner);
  if (!_tx_pub) {
    throw std::runtime_error(fmt::format(
        "robot interface for '{}': topic '{}' exists with another message type",
        options.get_path(), tx_topic));
  }
  _rx_sub = topics.subscribe<Hal::JointMasterRx, RobotInterfaceOrvo2Rt>(
      rx_topic, &RobotInterfaceOrvo2Rt::on_aggr_rx_recv, this, nullptr, kRxQueueSize, _owner);
  if (!_rx_sub) {
    throw std::runtime_error(fmt::format(
        "robot interface for '{}': topic '{}' exists with another message type",
        options.get_path(), rx_topic));
  }
  prime_tx_pool();
  _tx_loan = _tx_pub->loanMessage();
  if (!_tx_loan) {
    throw std::runtime_error(fmt::format("robot interface for '{}': topic '{}' lends no message",
                                         options.get_path(), tx_topic));
  }
  _tx_entries = _tx_loan->value().tx.data();
  for (size_t i = 0; i < _joints.size(); ++i) {
    _joints[i].joint->keep_tx_in(&_tx_entries, i);
  }
}

void RobotInterfaceOrvo2Rt::setOwner(const std::string& name) {
  _owner = name;
  if (_tx_pub) {
    prime_tx_pool();
  }
  if (_tx_loan) {
    prepare(_tx_loan->value());
    _tx_entries = _tx_loan->value().tx.data();
  }
}

void RobotInterfaceOrvo2Rt::prepare(Hal::JointMasterTx& msg) const {
  msg.sender = _owner;
  msg.info = _tx_info;
  msg.tx.resize(_tx_info.size());
}

bool RobotInterfaceOrvo2Rt::prepared(const Hal::JointMasterTx& msg) const {
  if (msg.sender != _owner || msg.info.size() != _tx_info.size() || msg.tx.size() != _tx_info.size()) {
    return false;
  }
  for (size_t i = 0; i < _tx_info.size(); ++i) {
    if (msg.info[i].id != _tx_info[i].id) {
      return false;
    }
  }
  return true;
}

void RobotInterfaceOrvo2Rt::prime_tx_pool() {
  // Loans held at once never come back twice; dropped unpublished, they
  // return to the pool holding what was written.
  std::vector<std::shared_ptr<MessageAdapter<Hal::JointMasterTx>>> loans;
  while (auto loan = _tx_pub->loanMessage()) {
    prepare(loan->value());
    loans.push_back(std::move(loan));
  }
}

RobotInterfaceOrvo2Rt::JointSlot* RobotInterfaceOrvo2Rt::slot_of(size_t index, int id) {
  // The master lists the joints in the order of the hardware description,
  // mostly the order of their ids.
  if (index < _joints.size() && _joints[index].id == id) {
    return &_joints[index];
  }
  const auto slot = std::lower_bound(_joints.begin(), _joints.end(), id,
                                     [](const JointSlot& s, int key) { return s.id < key; });
  return slot == _joints.end() || slot->id != id ? nullptr : &*slot;
}

void RobotInterfaceOrvo2Rt::on_aggr_rx_recv(const Hal::JointMasterRx& msg) {
  const size_t entries = std::min(msg.info.size(), msg.rx.size());
  for (size_t i = 0; i < entries; ++i) {
    JointSlot* slot = slot_of(i, msg.info[i].id);
    if (slot == nullptr) {
      continue;
    }
    Hal::JointApi& joint = *slot->joint;
    joint.set_rx(msg.rx[i]);
    if (!slot->seeded) {
      // First state of this joint: the fields never commanded hold it where
      // it is, so that a control mode never sends a made-up zero.
      const Hal::joint_tx& commanded = joint.get_tx();
      Hal::joint_tx seeded;
      seeded.reset(msg.rx[i]);
      seeded.apply(commanded, static_cast<uint8_t>(slot->valid_fields | commanded.mask));
      seeded.mask = commanded.mask;
      joint.set_tx(seeded);
      slot->valid_fields = Hal::joint_tx::ALL;
      slot->seeded = true;
    }
  }
  _rx_fresh = true;
}

bool RobotInterfaceOrvo2Rt::sense() {
  _rx_fresh = false;
  if (_rx_sub) {
    _rx_sub->run();
  }
  for (const auto& container : _sensor_containers) {
    container->sense_all();
  }
  return _rx_fresh;
}

bool RobotInterfaceOrvo2Rt::move() {
  if (!_tx_loan) {
    return false;
  }
  const std::vector<ControlMode>& modes = getControlModes();
  bool pending = false;
  for (size_t i = 0; i < _joints.size(); ++i) {
    JointSlot& slot = _joints[i];
    const uint8_t marked = _tx_entries[i].mask;
    slot.valid_fields |= marked;
    pending = pending || (marked | (mode_fields(modes[slot.model_index]) & slot.valid_fields)) != 0;
  }
  if (!pending) {
    return true;
  }
  auto next = _tx_pub->loanMessage();
  if (!next) {
    return false;
  }
  Hal::JointMasterTx& following = next->value();
  if (!prepared(following)) {
    prepare(following);
  }
  for (size_t i = 0; i < _joints.size(); ++i) {
    Hal::joint_tx& entry = _tx_entries[i];
    Hal::copy_joint_tx(following.tx[i], entry);
    following.tx[i].mask = 0;
    entry.mask = static_cast<uint8_t>(entry.mask |
                                      (mode_fields(modes[_joints[i].model_index]) & _joints[i].valid_fields));
  }
  const bool published = _tx_pub->publishLoaned(std::move(_tx_loan));
  _tx_loan = std::move(next);
  _tx_entries = following.tx.data();
  return published;
}

}  // namespace Orvo
