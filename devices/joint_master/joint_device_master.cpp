// Construction of the joint master: joint discovery, pipelines, URDF limits,
// topics, services and start-up options.

#include "joint_device_master.h"

#include <cmath>
#include <stdexcept>
#include <string>

#include <urdf_model/model.h>
#include <urdf_parser/urdf_parser.h>

#include "framework/typed/device_container.h"
#include "joint_command_limits.h"
#include "framework/typed/parameter.h"
#include "framework/typed/service.h"
#include "framework/typed/topic.h"
#include "orvo2/context/context.h"
#include "orvo2/devices/device_rt.h"
#include "orvo2/type_names/demangle.h"
#include "orvo2/tasks/callback_queue.h"

namespace Orvo {
namespace Hal {
namespace {

const char* const kMasterType = "joint_master";
const char* const kMasterName = "jm";
constexpr int kTxQueueSize = 20;

// A start-up option of the master, `fallback` when it is not set. One of
// another type is a configuration mistake: refused, not replaced by the
// default.
template <typename T>
T master_option(const Task& master, const std::string& name, const T& fallback) {
  const std::string full_name = master.resolveName(name);
  const std::string held = Context().paramManager().type_name_of(full_name);
  if (!held.empty() && held != demangle<T>()) {
    throw std::runtime_error("joint master: parameter '" + full_name + "' holds a value of type '" +
                             held + "', expected '" + demangle<T>() + "'");
  }
  return master.getParamOr<T>(name, fallback);
}

}  // namespace

JointDeviceMaster::JointDeviceMaster()
    : Device(DeviceInfo{kMasterName, kMasterName, -1}),
      Task(kMasterName, "", {}, false),
      Journal(kMasterName) {
  setPrivilegedMode(true);
  tx_queue = std::make_shared<CallbackQueue>();
  period_name = resolveName("~period");

  const auto hardware =
      getParamOrThrow<HardwareDescription>("/orvo_internal/hardware_description");
  DeviceContainer<JointBase> found(std::vector<DeviceInfo>{}, [](const DeviceInfo&) {
    return std::shared_ptr<JointBase>();
  });
  discover_joints(hardware, found);
  if (found.get_device_vector().empty()) {
    vlog(Error, "no joints have been found \n");
  }

  const JointMasterRx prototype(infos);

  load_urdf();
  make_pipelines(found);
  refuse_unusable_urdf_limits();
  bool urdf_reply = false;
  on_set_urdf_limits(1.0, urdf_reply);

  open_topics(prototype);
  advertise_services();
  read_options();
}

void JointDeviceMaster::make_pipelines(const DeviceContainer<JointBase>& found) {
  for (const auto& joint : found.get_device_vector()) {
    JointTxData data(joint->get_name(), static_cast<Journal*>(this));
    data.joint = joint;
    data.on_violation = [this] { return on_limits_exceeded(); };
    tx_map.emplace(joint->get_id(), std::move(data));  // ids are unique (discover_joints)
    joints.push_back(joint);
  }
  for (auto& entry : tx_map) {
    known_ids.push_back(entry.first);
    tx_by_id.push_back(&entry.second);
  }
  for (const DeviceInfo& info : infos) {
    const auto record = tx_map.find(info.id);
    tx_by_index.push_back(record == tx_map.end() ? nullptr : &record->second);
  }
}

void JointDeviceMaster::open_topics(const JointMasterRx& prototype) {
  rx_pub = advertise<JointMasterRx>(DeviceRt::RxTopicName(kMasterType, "all_joints"), prototype);
  if (!rx_pub) {
    throw std::runtime_error("joint master: cannot advertise '" +
                             DeviceRt::RxTopicName(kMasterType, "all_joints") + "'");
  }
  prime_rx_pool();
  loan_rx();
  watch_servers();
  tx_sub = subscribe<JointDeviceMaster, JointMasterTx>(
      DeviceRt::TxTopicName(kMasterType, "all_joints"), &JointDeviceMaster::on_aggr_tx_recv, this,
      kTxQueueSize, tx_queue.get());
  if (!tx_sub) {
    throw std::runtime_error("joint master: cannot subscribe '" +
                             DeviceRt::TxTopicName(kMasterType, "all_joints") + "'");
  }
}

void JointDeviceMaster::advertise_services() {
  CallbackQueue* queue = getTaskQueue();
  enable_filter_srv = advertiseService<bool, bool, JointDeviceMaster>(
      "joint_master/enable_tx_filter", &JointDeviceMaster::enableTxFilter, this, queue);
  set_cutoff_srv = advertiseService<double, bool, JointDeviceMaster>(
      "joint_master/set_tx_filter_cutoff", &JointDeviceMaster::setFilterProperties, this, queue);
  set_mask_srv = advertiseService<unsigned, bool, JointDeviceMaster>(
      "joint_master/set_mask", &JointDeviceMaster::on_set_mask, this, queue);
  set_limits_srv = advertiseService<JointMasterLimits, bool, JointDeviceMaster>(
      "joint_master/set_limits", &JointDeviceMaster::on_set_limits, this, queue);
  set_urdf_limits_srv = advertiseService<double, bool, JointDeviceMaster>(
      "joint_master/set_limits_from_urdf", &JointDeviceMaster::on_set_urdf_limits, this, queue);

  info_pub = advertise<JointMasterInfo>("joint_master/info", JointMasterInfo{0, false, 0.0});
  if (!info_pub) {
    throw std::runtime_error("joint master: cannot advertise '" + resolveName("joint_master/info") +
                             "'");
  }
}

void JointDeviceMaster::read_options() {
  tx_filter_autostart = master_option<bool>(*this, "~tx_filter_autostart", false);
  autostart_done = false;
  const double cutoff = master_option<double>(*this, "~tx_filter_cutoff", tx_filter_cutoff);
  // The thread sets the period before it makes its devices; without one,
  // enabling the filter checks the coefficients.
  const bool period_known = read_period() && period.count() > 0;
  if (cutoff > 0.0 && std::isfinite(cutoff) && (!period_known || coefficients_finite(cutoff))) {
    tx_filter_cutoff = cutoff;
  } else {
    jhigh().vlog(Error, "parameter '{}' refused: invalid cutoff frequency ({} Hz), keeping {} Hz \n",
                 resolveName("~tx_filter_cutoff"), cutoff, tx_filter_cutoff);
  }
  enable_safety = master_option<bool>(*this, "~enable_safety", true);
  if (!enable_safety) {
    jhigh().vlog(Warning, "running with disabled safety policies \n");
  }
}

JointDeviceMaster::~JointDeviceMaster() = default;

void JointDeviceMaster::discover_joints(const HardwareDescription& hardware,
                                        DeviceContainer<JointBase>& found) {
  std::map<int, std::string> names_by_id;
  for (const std::string& type : hardware.types) {
    if (type == kMasterType) {
      continue;
    }
    const auto clients = DeviceContainerBase::MakeClient(type, hardware.getDeviceInfoAll(type));
    for (const auto& device : clients->get_device_base_vector()) {
      if (!found.addDevice(device)) {
        continue;
      }
      const DeviceInfo& info = device->get_devinfo();
      const auto known = names_by_id.emplace(info.id, info.name);
      if (!known.second) {
        throw std::runtime_error("joint master: joint id " + std::to_string(info.id) +
                                 " is used by '" + known.first->second + "' and '" + info.name +
                                 "'");
      }
      vlog(Info, "found joint '{}', id = {}, type = '{}' \n", info.name, info.id, info.type);
      infos.push_back(info);
      rx_valid.push_back(false);
    }
  }
}

void JointDeviceMaster::load_urdf() {
  std::string urdf_text;
  if (!getParam<std::string>("/robot_description", urdf_text)) {
    jmid().vlog(Warning, "could not find urdf in '/robot_description' param \n");
    return;
  }
  urdf_model = urdf::parseURDF(urdf_text);
  if (!urdf_model) {
    throw std::runtime_error(
        "joint master: the robot description in '/robot_description' is no valid URDF: no joint "
        "would have limits");
  }
  jlow().vlog(Info, "successfully built urdf model \n");
}

void JointDeviceMaster::refuse_unusable_urdf_limits() const {
  if (!urdf_model) {
    return;
  }
  for (const auto& entry : tx_map) {
    const auto joint = urdf_model->getJoint(entry.second.name);
    const std::string fault = joint ? urdf_limits_fault(*joint) : std::string();
    if (!fault.empty()) {
      throw std::runtime_error("joint '" + entry.second.name + "': " + fault);
    }
  }
}

void JointDeviceMaster::watch_servers() {
  for (const DeviceInfo& info : infos) {
    size_t w = 0;
    while (w < server_watches.size() && server_watches[w].type != info.type) {
      ++w;
    }
    if (w == server_watches.size()) {
      ServerWatch watch;
      watch.type = info.type;
      watch.notices = Context().topicManager().subscribe<DeviceServer>(
          ServerTopicName(info.type),
          [this, w](const DeviceServer& notice) { on_server_notice(w, notice); }, nullptr,
          kTxQueueSize, kMasterName);
      if (!watch.notices) {
        throw std::runtime_error("joint master: cannot subscribe '" + ServerTopicName(info.type) + "'");
      }
      server_watches.push_back(std::move(watch));
    }
    watch_of.push_back(w);
  }
}

void JointDeviceMaster::fit_joint_list(JointMasterRx& msg) const {
  if (msg.rx.size() != infos.size() || msg.info.size() != infos.size()) {
    msg.info = infos;
    msg.rx.resize(infos.size());
  }
}

void JointDeviceMaster::prime_rx_pool() {
  // The messages that subscriptions made before the master added to the
  // topic's pool are copies of an empty message. Loans held at once never
  // come back twice; dropped unpublished, they return to the pool holding
  // the joint list.
  std::vector<std::shared_ptr<MessageAdapter<JointMasterRx>>> loans;
  while (auto loan = rx_pub->loanMessage()) {
    fit_joint_list(loan->value());
    loans.push_back(std::move(loan));
  }
}

void JointDeviceMaster::loan_rx() {
  loaned_rx = rx_pub->loanMessage();
  if (loaned_rx) {
    // Sized at set-up (prime_rx_pool, and later subscriptions copy the
    // master's prototype); this only catches a message that escaped both.
    fit_joint_list(loaned_rx->value());
  }
}

}  // namespace Hal
}  // namespace Orvo
