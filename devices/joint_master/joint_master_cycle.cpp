// The joint master's cycle: sense gathers the joints' rx into the aggregated
// message, move applies the aggregated commands and drives every pipeline,
// run serves the service requests.

#include <atomic>
#include <cstdint>
#include <stdexcept>
#include <string>

#include <fmt/format.h>
#include <fmt/ostream.h>

#include "framework/primitives/debug.h"
#include "framework/primitives/monotonic_clock.h"
#include "framework/primitives/prefetch.h"
#include "framework/typed/publisher.h"
#include "framework/typed/subscriber.h"
#include "joint_device_master.h"
#include "orvo2/context/context.h"
#include "orvo2/tasks/callback_queue.h"
#include "framework/typed/parameter.h"
#include "orvo2/clock/simulated_clock.h"

namespace Orvo {
namespace Hal {
namespace {

// Sequence number of the next aggregated rx message, shared by every master
// of the process (masters may run in different threads).
std::atomic<uint32_t> next_seq{0};

// The first missing loan of a thread arms the throttle silently; later ones
// warn at most once per second.
bool loan_warning_due() {
  struct Throttle {
    int64_t last_t = 0;
    bool armed = false;
  };
  thread_local Throttle throttle;
  const int64_t now = monotonic_now_ns();
  if (!throttle.armed) {
    throttle.armed = true;
    throttle.last_t = now;
    return false;
  }
  if (now - throttle.last_t > 1000000000LL) {
    throttle.last_t = now;
    return true;
  }
  return false;
}

// The pipelines are cold again by the next cycle: each one's lines are
// fetched this many pipelines ahead of its turn.
constexpr size_t kPrefetchAhead = 4;

}  // namespace

bool JointDeviceMaster::sense() {
  if (tx_filter_autostart && !autostart_done && read_period()) {
    autostart_done = true;
    bool ok = false;
    enableTxFilter(true, ok);
  }

  if (!loaned_rx) {
    loan_rx();
    if (!loaned_rx) {
      if (loan_warning_due()) {
        jmid().vlog(Warning, "unable to write to aggregated rx \n");
      }
      return false;
    }
  }

  for (ServerWatch& watch : server_watches) {
    watch.notices->run();
  }
  for (size_t i = 0; i < joints.size(); ++i) {
    sense_joint(*joints[i], static_cast<int>(i));
  }

  if (!valid_rx_recv_all()) {
    ORVO2_DEBUG_TRACE(0, "sense", "valid data unavailable yet \n");
    return false;
  }
  const int64_t stamp = Orvo::chrono::simulated_clock::now().time_since_epoch().count();
  if (stamp_must_move) {
    if (stamp == stale_stamp) {
      return false;  // the clock still stands where it stood for the previous server
    }
    stamp_must_move = false;
  }
  ORVO2_DEBUG_TRACE(1, "sense", "publishing aggr rx \n");

  JointMasterRx& msg = loaned_rx->value();
  msg.stamp = stamp;
  msg.seq = next_seq.fetch_add(1);
  std::shared_ptr<MessageBase> message = std::move(loaned_rx);
  const bool published = rx_pub->publishLoaned(std::move(message));
  loan_rx();
  return published;
}

void JointDeviceMaster::sense_joint(JointBase& joint, int i) {
  const size_t index = static_cast<size_t>(i);
  const bool fresh = joint.sense();
  if ((!fresh && !rx_valid[index]) || !server_watches[watch_of[index]].serving) {
    return;
  }
  const joint_rx& rx = joint.get_rx();
  if (fresh) {
    ORVO2_DEBUG_TRACE(1, "sense_joint", "received rx #{} \n {} \n", i, fmt::streamed(rx));
  }
  if (!loaned_rx) {
    return;
  }
  // Also without new data: the loan may be another message of the pool than
  // the one published last, holding an older state or none.
  loaned_rx->value().rx[index] = rx;
  if (rx_valid[index]) {
    return;
  }
  const auto record = tx_map.find(infos[index].id);
  if (record != tx_map.end()) {
    record->second.initialise(rx);
  }
  rx_valid[index] = true;
}

void JointDeviceMaster::on_server_notice(size_t watch, const DeviceServer& notice) {
  ServerWatch& server = server_watches[watch];
  if (notice.generation == server.generation) {
    return;
  }
  server.generation = notice.generation;
  server.serving = notice.generation != 0;
  for (size_t i = 0; i < watch_of.size(); ++i) {
    if (watch_of[i] == watch) {
      rx_valid[i] = false;
    }
  }
  all_rx_valid = false;
  stamp_must_move = true;
  stale_stamp = Orvo::chrono::simulated_clock::now().time_since_epoch().count();
}

bool JointDeviceMaster::valid_rx_recv_all() const {
  if (all_rx_valid) {
    return true;
  }
  bool all = true;
  for (const bool valid : rx_valid) {
    all = all && valid;
  }
  all_rx_valid = all;
  return all;
}

bool JointDeviceMaster::move() {
  tx_queue->run();
  const int64_t now = deadline_clock_now();
  // A stop lasts as long as cycles keep violating a limit: the first
  // violation of each joint is logged, its length when a cycle passes
  // without one.
  const uint64_t trips_before = stop_trips;
  for (size_t i = 0; i < tx_by_id.size(); ++i) {
    if (i + kPrefetchAhead < tx_by_id.size()) {
      prefetch_lines(tx_by_id[i + kPrefetchAhead], sizeof(JointTxData));
    }
    JointTxData& record = *tx_by_id[i];
    record.process_and_publish(now, stop_trips == 0 || !record.violation_logged);
  }
  if (stop_trips != 0 && stop_trips == trips_before) {
    jhigh().vlog(Warning, "safety stop ended after {} violations \n", stop_trips);
    stop_trips = 0;
    for (auto& entry : tx_map) {
      entry.second.violation_logged = false;
    }
  }
  if (auto status = info_pub->loanMessage()) {
    status->value() = JointMasterInfo{mask, tx_filter_enabled, tx_filter_cutoff};
    info_pub->publishLoaned(std::move(status));
  }
  return true;
}

bool JointDeviceMaster::run() {
  getTaskQueue()->run();
  return true;
}

void JointDeviceMaster::on_aggr_tx_recv(const JointMasterTx& msg) {
  ORVO2_DEBUG_TRACE(1, "on_aggr_tx_recv", "received aggr tx from '{}' \n", msg.sender);
  if (mask == 0) {
    return;
  }
  if (msg.tx.size() < msg.info.size()) {
    vlog(Error, "aggregated tx from '{}' refused: {} commands for {} joints \n", msg.sender,
         msg.tx.size(), msg.info.size());
    return;
  }
  const int64_t now = deadline_clock_now();
  for (size_t i = 0; i < msg.info.size(); ++i) {
    const joint_tx& tx = msg.tx[i];
    if (tx.mask == 0) {
      continue;
    }
    const int id = msg.info[i].id;
    JointTxData* record = tx_record(i, id);
    if (record == nullptr) {
      // Not thrown: the pipelines of this cycle must run whatever a client sends.
      report_unknown_id(id);
      return;
    }
    record->apply_tx(tx, mask, now);
  }
}

JointTxData* JointDeviceMaster::tx_record(size_t index, int id) {
  if (index < infos.size() && infos[index].id == id) {
    return tx_by_index[index];
  }
  const auto record = tx_map.find(id);
  return record == tx_map.end() ? nullptr : &record->second;
}

bool JointDeviceMaster::on_limits_exceeded() {
  if (!enable_safety) {
    jhigh().vlog(Warning, "safety is disabled, skipping.. \n");
    return false;
  }
  if (stop_trips++ == 0) {
    jhigh().vlog(Warning, "safety limits exceeded, disabling joint device \n");
    jlow().vlog(Info, "joint_master: setting mask to {} \n", 0);
  }
  mask = 0;
  for (auto& entry : tx_map) {
    entry.second.reset();
  }
  return true;
}

void JointDeviceMaster::log_unknown_id(int id) {
  vlog(Error, "could not find joint with id = {}, available ids are [{}] \n", id,
       fmt::join(known_ids, ", "));
}

void JointDeviceMaster::report_unknown_id(int id) {
  const int64_t now = monotonic_now_ns();
  if (unknown_id_reported && now - unknown_id_reported_at < 1000000000LL) {
    ++unknown_id_unreported;
    return;
  }
  if (unknown_id_unreported == 0) {
    log_unknown_id(id);
  } else {
    vlog(Error,
         "could not find joint with id = {}, available ids are [{}] ({} more commands for unknown "
         "joints refused since the last line) \n",
         id, fmt::join(known_ids, ", "), unknown_id_unreported);
  }
  unknown_id_reported = true;
  unknown_id_reported_at = now;
  unknown_id_unreported = 0;
}

void JointDeviceMaster::throw_unknown_id(int id) {
  log_unknown_id(id);
  throw std::out_of_range("map::at");
}

bool JointDeviceMaster::read_period() {
  const auto param = Context().paramManager().findParam<std::chrono::nanoseconds>(period_name);
  return param && param->get(period);
}

}  // namespace Hal
}  // namespace Orvo
