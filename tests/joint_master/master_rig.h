#pragma once
// A joint master loaded by name over dummy joints whose driver container runs
// in the same thread, cycle by cycle, its clients paired with the drivers as
// a worker thread pairs them, with probes on the master's topics and a
// service caller in another thread.

#include <chrono>
#include <fstream>
#include <future>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "devices/device_pairing.h"
#include "framework/typed/parameter.h"
#include "framework/typed/service.h"
#include "framework/typed/topic.h"
#include "orvo2/context/context.h"
#include "orvo2/devices/device_container_base.h"
#include "orvo2/devices/device_rt.h"
#include "orvo2/devices/joint_master_messages.h"

namespace Orvo {
namespace test {

using Hal::DeviceInfo;
using Hal::joint_rx;
using Hal::joint_tx;

inline std::string dummy_arm_urdf() {
  std::ifstream file(ORVO2_SOURCE_DIR "/examples/dummy_robot/dummy_arm.urdf");
  std::stringstream text;
  text << file.rdbuf();
  return text.str();
}

// The dummy arm's first joints (URDF names, ids 1..count).
inline std::vector<DeviceInfo> arm_joints(int count) {
  const char* names[] = {"shoulder_yaw", "shoulder_pitch", "elbow_pitch",
                         "wrist_roll",   "wrist_pitch",    "wrist_yaw"};
  std::vector<DeviceInfo> joints;
  for (int i = 0; i < count; ++i) {
    joints.push_back({names[i % 6] + (i < 6 ? std::string() : std::to_string(i)), "joint_dummy",
                      i + 1});
  }
  return joints;
}

// Sets the hardware description (the joints plus one joint_master entry).
inline void describe_hardware(const std::vector<DeviceInfo>& devices) {
  Hal::HardwareDescription hardware;
  for (const DeviceInfo& info : devices) {
    hardware.addDeviceInfo(info);
  }
  hardware.addDeviceInfo({"all_joints", "joint_master", 100});
  Context().paramManager().setParam("/orvo_internal/hardware_description", hardware);
}

inline joint_tx command(float pos, float vel, float tor, uint8_t mask) {
  joint_tx tx;
  tx.pos_ref = pos;
  tx.vel_ref = vel;
  tx.tor_ref = tor;
  tx.mask = mask;
  return tx;
}

// The master's parameters, all set by the rig (parameters outlive a test
// when several run in one process). The period is left to the tests.
struct RigOptions {
  bool urdf = true;  // else a robot description without these joints: no limits
  bool safety = true;
  bool autostart = false;
  double cutoff = 100.0;
};

// True when the master's period parameter was set earlier in this process.
inline bool period_is_set() {
  return static_cast<bool>(Context().paramManager().findParam<std::chrono::nanoseconds>("/jm/period"));
}

class MasterRig {
public:
  explicit MasterRig(std::vector<DeviceInfo> joints, RigOptions options = {}) : _joints(joints) {
    describe_hardware(joints);
    ParameterManager& params = Context().paramManager();
    params.setParam<std::string>("/robot_description",
                                 options.urdf ? dummy_arm_urdf()
                                              : "<robot name='bare'><link name='base'/></robot>");
    params.setParam("/jm/enable_safety", options.safety);
    params.setParam("/jm/tx_filter_autostart", options.autostart);
    params.setParam("/jm/tx_filter_cutoff", options.cutoff);
    Hal::DevicePairing pairing;
    drivers = Hal::DeviceContainerBase::MakeDriver("joint_dummy", joints);
    masters = Hal::DeviceContainerBase::MakeDriver("joint_master", {});
    pairing.pair();
    master = masters->get_device_base_vector().at(0).get();
    auto& topics = Context().topicManager();
    rx_sub = topics.subscribe<Hal::JointMasterRx>(
        Hal::DeviceRt::RxTopicName("joint_master", "all_joints"),
        [this](const Hal::JointMasterRx& msg) {
          ++rx_count;
          last_seq = msg.seq;
          last_rx_joints = msg.rx.size() == msg.info.size() ? msg.rx.size() : 0;
          if (keep_messages) {
            received.push_back(msg);
          }
        },
        nullptr, 20, "probe");
    info_sub = topics.subscribe<Hal::JointMasterInfo>(
        "/joint_master/info",
        [this](const Hal::JointMasterInfo& msg) {
          ++status_count;
          last_status = msg;
          if (keep_messages) {
            status.push_back(msg);
          }
        },
        nullptr, 20, "probe");
    tx_pub = topics.advertise<Hal::JointMasterTx>(
        Hal::DeviceRt::TxTopicName("joint_master", "all_joints"), Hal::JointMasterTx(), "probe");
  }

  // One worker-thread cycle: joints sensed, master sensed/run/moved, joints moved.
  bool cycle() {
    drivers->sense_all();
    const bool published = master->sense();
    master->run();
    master->move();
    drivers->move_all();
    rx_sub->run();
    info_sub->run();
    return published;
  }

  // Publishes one aggregated command; entries address joints by id.
  void send(const std::vector<int>& ids, const std::vector<joint_tx>& tx) {
    auto loan = tx_pub->loanMessage();
    if (!loan) {
      throw std::runtime_error("no aggregated tx loan");
    }
    loan->value().sender = "rig";
    loan->value().info.clear();
    for (int id : ids) {
      loan->value().info.push_back({"", "joint_dummy", id});
    }
    loan->value().tx = tx;
    tx_pub->publishLoaned(std::move(loan));
  }

  // The command the dummy driver of joint `index` holds.
  joint_tx sent(size_t index) const {
    joint_tx tx;
    auto& device = dynamic_cast<Hal::DeviceRt&>(*drivers->get_device_base_vector().at(index));
    device.get_tx_raw(reinterpret_cast<unsigned char*>(&tx), device.get_tx_size());
    return tx;
  }

  // Makes dummy joint `index` report `tx`'s references from its next sense.
  void preset(size_t index, const joint_tx& tx) {
    auto& device = dynamic_cast<Hal::DeviceRt&>(*drivers->get_device_base_vector().at(index));
    device.set_tx_raw(reinterpret_cast<const unsigned char*>(&tx), device.get_tx_size());
  }

  // Calls a master service by its framework name from another thread while
  // this thread keeps cycling; false when no answer came within `timeout`.
  template <typename Req>
  bool call(const std::string& name, const Req& request, bool& reply,
            std::chrono::milliseconds timeout = std::chrono::milliseconds(2000)) {
    auto client = Context().serviceManager().serviceClient<Req, bool>(name);
    auto answer = std::async(std::launch::async, [&] {
      bool result = false;
      const bool answered = client->call(request, result, timeout);
      return std::make_pair(answered, result);
    });
    while (answer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
      cycle();
    }
    const auto outcome = answer.get();
    reply = outcome.second;
    return outcome.first;
  }

  std::vector<DeviceInfo> _joints;
  std::unique_ptr<Hal::DeviceContainerBase> drivers;
  std::unique_ptr<Hal::DeviceContainerBase> masters;
  Hal::DeviceBase* master = nullptr;
  std::shared_ptr<Subscriber<Hal::JointMasterRx>> rx_sub;
  std::shared_ptr<Subscriber<Hal::JointMasterInfo>> info_sub;
  std::shared_ptr<Publisher<Hal::JointMasterTx>> tx_pub;
  // Probes: counts and last values always, every message while keep_messages.
  bool keep_messages = true;
  int rx_count = 0;
  uint32_t last_seq = 0;
  size_t last_rx_joints = 0;  // 0 when the lists' lengths differ
  int status_count = 0;
  Hal::JointMasterInfo last_status;
  std::vector<Hal::JointMasterRx> received;
  std::vector<Hal::JointMasterInfo> status;
};

}  // namespace test
}  // namespace Orvo
