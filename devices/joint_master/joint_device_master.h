#pragma once
// The joint master: one device that stands between the joint devices and
// everything that reads or commands all joints at once. Each cycle it
// gathers every joint's rx into one aggregated message, pushes the
// aggregated commands through one command pipeline per joint to the joint
// devices and publishes its status; between cycles it serves the tuning
// services (mask, limits, filter).
//
// sense(), move() and run() are called by its driver container in one worker
// thread; the aggregated tx callback runs inside move() and the service
// handlers inside run(), so the master's state needs no lock.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "joint_tx_data.h"
#include "orvo2/context/journal.h"
#include "orvo2/devices/device_base.h"
#include "orvo2/devices/device_server.h"
#include "orvo2/devices/joint_base.h"
#include "orvo2/devices/joint_master_messages.h"
#include "orvo2/tasks/task.h"

namespace urdf {
class ModelInterface;
}

namespace Orvo {

class CallbackQueue;
template <typename T>
class MessageAdapter;

namespace Hal {

template <typename T>
class DeviceContainer;

class JointDeviceMaster : public Device, public Task, private Journal {
public:
  using JointTxData = Hal::JointTxData;

  // Set-up; allocates. Discovers the joints of the hardware description
  // parameter, applies their URDF limits and creates the topics and services.
  // Throws when the hardware description is missing, when a device library
  // fails, when two joints share an id, when the robot description is no
  // valid URDF, when a joint's URDF limits cannot be used, or when one of its
  // options holds a value of another type.
  JointDeviceMaster();
  ~JointDeviceMaster() override;

  // Worker thread; never blocks or throws. Senses every joint and publishes
  // the aggregated rx once every joint has delivered (again after a server
  // notice, and then only under a stamp the clock reached since); true when
  // it was published. The pool's messages hold the joint list from set-up on; only
  // one that another publisher of the topic shaped is given it, once, which
  // allocates.
  bool sense() override;
  // Worker thread; never blocks or throws. Applies the aggregated commands
  // that arrived, drives every joint's pipeline, publishes the status; true.
  bool move() override;
  // Worker thread; never blocks. Serves the pending service requests; only
  // a limits request with an unknown id allocates (its error).
  bool run() override;

  // Worker thread; never allocates.
  void sense_joint(JointBase& joint, int i);
  bool valid_rx_recv_all() const;
  // Worker thread, inside move(). An entry for an unknown id ends the
  // message: it and the later entries are not applied; the error line comes
  // at most once a second.
  void on_aggr_tx_recv(const JointMasterTx& msg);
  // Worker thread; never allocates. The reaction to a limit violation: true
  // (safety on: mask 0, every pipeline back to its last command; logged at
  // the first violation of a stop) or false.
  bool on_limits_exceeded();
  // Any thread (a plain read).
  uint32_t getMask() const { return mask; }

  // Service handlers, worker thread inside run(); reply in `ok`, return true.
  bool enableTxFilter(const bool& on, bool& ok);
  bool setFilterProperties(const double& hz, bool& ok);
  bool on_set_mask(const unsigned& m, bool& ok);
  // Throws std::out_of_range for an unknown id.
  bool on_set_limits(const JointMasterLimits& req, bool& ok);
  bool on_set_urdf_limits(const double& scaling, bool& ok);

private:
  template <typename Req>
  using ServiceHandle = std::shared_ptr<ServiceServer<Req, bool>>;

  // Set-up: parses "/robot_description" into `urdf_model`; a description
  // that is not valid URDF throws (no joint would have limits). Without the
  // parameter the model stays empty, with a warning.
  void load_urdf();
  // Set-up: throws naming the joint, the field and its value when a joint's
  // URDF limits cannot be used.
  void refuse_unusable_urdf_limits() const;
  // Set-up: offers every device of every type but "joint_master" to `found`,
  // which keeps the joints; records their infos.
  void discover_joints(const HardwareDescription& hardware, DeviceContainer<JointBase>& found);
  // Set-up; allocates. One command pipeline per joint of `found`, and the
  // lookups by id and by position in `infos`.
  void make_pipelines(const DeviceContainer<JointBase>& found);
  // Set-up; allocates. Advertises the aggregated rx with the joint list of
  // `prototype`, fills its pool, watches the servers and subscribes the
  // aggregated tx. Throws std::runtime_error naming a topic that cannot be made.
  void open_topics(const JointMasterRx& prototype);
  // Set-up; allocates. The tuning services and the status topic; throws
  // std::runtime_error when "joint_master/info" cannot be advertised.
  void advertise_services();
  // Set-up; allocates. The start-up options "~tx_filter_autostart",
  // "~tx_filter_cutoff" (refused, with an error line, when unusable) and
  // "~enable_safety"; throws std::runtime_error for one of another type.
  void read_options();
  // Reads "~period" into `period`; false when it is not set.
  bool read_period();
  // `period` > 0. True when `hz` lies below half the sample rate, else an
  // error line.
  bool cutoff_below_nyquist(double hz);
  // `period` > 0. True when the filter's coefficients for `hz` are finite,
  // else an error line.
  bool coefficients_finite(double hz);
  // Every pipeline: sample time from `period`, the given cut-off.
  void set_filter_all(double cutoff_hz);
  // Logs the unknown id and the ids there are; never allocates.
  void log_unknown_id(int id);
  // Worker thread; never allocates. log_unknown_id at most once a second,
  // with the count of the commands refused meanwhile.
  void report_unknown_id(int id);
  // The record of joint `id` at position `index` of an aggregated command, or null.
  JointTxData* tx_record(size_t index, int id);
  // log_unknown_id, then throws std::out_of_range ("map::at").
  [[noreturn]] void throw_unknown_id(int id);
  // Set-up: one watch on the server notices of each joint type.
  void watch_servers();
  // Worker thread, inside sense(); never allocates. A joint type's records
  // come from another server (or none): its joints are sensed afresh, as at
  // their first rx, from the new server's first records, and nothing is
  // published under a stamp of the clock as it stood before.
  void on_server_notice(size_t watch, const DeviceServer& notice);
  // Set-up: gives every message of the aggregated rx pool the joint list.
  void prime_rx_pool();
  // The joint list and a zeroed state per joint, unless `msg` has them.
  void fit_joint_list(JointMasterRx& msg) const;
  void loan_rx();

  std::shared_ptr<MessageAdapter<JointMasterRx>> loaned_rx;
  ServiceHandle<unsigned> set_mask_srv;
  ServiceHandle<double> set_urdf_limits_srv;
  ServiceHandle<JointMasterLimits> set_limits_srv;
  uint32_t mask = 0xFFFFFFFFu;
  std::vector<DeviceInfo> infos;
  std::shared_ptr<urdf::ModelInterface> urdf_model;
  std::vector<bool> rx_valid;
  mutable bool all_rx_valid = false;
  std::shared_ptr<Publisher<JointMasterRx>> rx_pub;
  std::shared_ptr<Subscriber<JointMasterTx>> tx_sub;
  std::map<int, JointTxData> tx_map;
  // tx_map's records in the order of `infos` (null where a joint has none):
  // a client that sends the joints in the order of the aggregated rx is
  // served without a lookup.
  std::vector<JointTxData*> tx_by_index;
  // tx_map's records in its order (ascending id), walked by every move.
  std::vector<JointTxData*> tx_by_id;
  std::vector<std::shared_ptr<JointBase>> joints;
  std::chrono::nanoseconds period{0};
  std::shared_ptr<CallbackQueue> tx_queue;
  ServiceHandle<bool> enable_filter_srv;
  ServiceHandle<double> set_cutoff_srv;
  std::shared_ptr<Publisher<JointMasterInfo>> info_pub;
  bool tx_filter_autostart = false;
  bool autostart_done = false;
  bool tx_filter_enabled = false;
  double tx_filter_cutoff = 100.0;  // Hz
  bool enable_safety = true;
  // The server a joint type's records come from (orvo2/devices/device_server.h).
  struct ServerWatch {
    std::string type;
    std::shared_ptr<Subscriber<DeviceServer>> notices;
    uint64_t generation = 0;
    bool serving = true;  // false while the type's records come from no server
  };
  std::vector<ServerWatch> server_watches;
  std::vector<size_t> watch_of;  // per joint (index of `infos`), its type's watch
  // Set at a server notice: nothing is published while the stamp is stale_stamp.
  bool stamp_must_move = false;
  int64_t stale_stamp = 0;
  uint64_t stop_trips = 0;  // violations of the safety stop under way; 0: none
  std::vector<int> known_ids;  // tx_map's ids, ascending, for the unknown-id line
  bool unknown_id_reported = false;
  int64_t unknown_id_reported_at = 0;  // ns, monotonic clock
  uint64_t unknown_id_unreported = 0;  // commands for unknown ids since that line
  std::string period_name;  // "~period" resolved once, read without allocating
};

}  // namespace Hal
}  // namespace Orvo
