#pragma once
// What the robot interface tests share: the robot made the way the launcher
// and the plug-in machinery make it, and a stand-in that plays the joint
// master's part on the two aggregated topics.

#include <yaml-cpp/yaml.h>

#include <memory>
#include <string>
#include <vector>

#include "framework/typed/parameter.h"
#include "framework/typed/topic.h"
#include "orvo2/configuration/config_parser.h"
#include "orvo2/context/context.h"
#include "orvo2/devices/device_rt.h"
#include "orvo2/devices/joint_master_messages.h"
#include "orvo2/robot/robot_interface_orvo2rt.h"
#include "orvo_interface/config_options.h"

namespace OrvoTest {

inline const std::string kDummyRobot = std::string(ORVO2_EXAMPLES_DIR) + "/dummy_robot/config.yaml";

// The hardware description parameter, as the launcher publishes it.
inline void publish_hardware_description(const std::string& config) {
  const auto options = Orvo::ConfigOptions::FromConfigFile(config);
  Orvo::OrvoInterface model;
  if (!model.init(options)) {
    throw std::runtime_error("test model of '" + config + "' does not initialise");
  }
  const Orvo::ConfigParser parser(YAML::LoadFile(config), model);
  Orvo::Context().paramManager().setParam(Orvo::RobotInterfaceOrvo2Rt::HardwareDescriptionParam,
                                          parser.getHw());
}

// A robot made by name, through libRobotInterfaceOrvo2Rt.
inline std::shared_ptr<Orvo::RobotInterfaceOrvo2Rt> make_robot(const std::string& config) {
  auto options = Orvo::ConfigOptions::FromConfigFile(config);
  options.set_parameter("framework", std::string("Orvo2Rt"));
  return std::dynamic_pointer_cast<Orvo::RobotInterfaceOrvo2Rt>(Orvo::RobotInterface::MakeInstance(options));
}

// Publishes aggregated states and keeps every aggregated command it receives.
class MasterStandIn {
public:
  MasterStandIn() {
    using Orvo::Hal::DeviceRt;
    Orvo::TopicManager& topics = Orvo::Context().topicManager();
    _rx_pub = topics.advertise<Orvo::Hal::JointMasterRx>(
        DeviceRt::RxTopicName("joint_master", "all_joints"), Orvo::Hal::JointMasterRx(), "jm");
    _tx_sub = topics.subscribe<Orvo::Hal::JointMasterTx>(
        DeviceRt::TxTopicName("joint_master", "all_joints"),
        [this](const Orvo::Hal::JointMasterTx& msg) { received.push_back(msg); }, nullptr, 20, "jm");
  }

  // True when published.
  bool publish(const Orvo::Hal::JointMasterRx& msg) {
    auto loan = _rx_pub->loanMessage();
    if (!loan) {
      return false;
    }
    loan->value() = msg;
    return _rx_pub->publishLoaned(std::move(loan));
  }

  // Takes what arrived into `received`; returns how many.
  int receive() { return _tx_sub->run(); }

  std::vector<Orvo::Hal::JointMasterTx> received;

private:
  std::shared_ptr<Orvo::Publisher<Orvo::Hal::JointMasterRx>> _rx_pub;
  std::shared_ptr<Orvo::Subscriber<Orvo::Hal::JointMasterTx>> _tx_sub;
};

// One joint state whose fields are all `base` + their position in the record.
inline Orvo::Hal::joint_rx joint_state(float base) {
  return Orvo::Hal::joint_rx{base,        base + 1.f, base + 2.f, base + 3.f, base + 4.f, base + 5.f,
                             base + 6.f, base + 7.f, base + 8.f, base + 9.f, base + 10.f};
}

inline Orvo::Hal::JointMasterRx aggregated(const std::vector<std::pair<int, float>>& states) {
  Orvo::Hal::JointMasterRx msg;
  for (const auto& state : states) {
    msg.info.push_back(Orvo::Hal::DeviceInfo{"joint" + std::to_string(state.first), "joint_dummy", state.first});
    msg.rx.push_back(joint_state(state.second));
  }
  return msg;
}

}  // namespace OrvoTest
