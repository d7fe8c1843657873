#include "orvo2/channel/client_manager.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <exception>
#include <set>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "orvo2/channel/shm_channel_layout.h"
#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"
#include "shm_channel.h"
#include "shm_seqlock.h"

namespace Orvo {

namespace {

enum RefusalReason : int { NoRefusal = 0, NotTrusted, BadSegment, MissingDevice, DuplicateDevice, SizeMismatch, ChannelTaken };

std::uint64_t new_token() {
  static std::atomic<std::uint32_t> instances{0};
  return (static_cast<std::uint64_t>(::getpid()) << 32) | (instances.fetch_add(1) + 1);
}

std::int32_t token_pid(std::uint64_t token) { return static_cast<std::int32_t>(token >> 32); }

// A device's server index before it is paired with a table entry.
constexpr std::uint32_t kUnpaired = ~std::uint32_t{0};

}  // namespace

ClientManager::ClientManager(std::vector<std::shared_ptr<Hal::DeviceRt>> devices, std::string transport,
                             std::string name)
    : _devices(std::move(devices)), _name(std::move(name)), _token(new_token()) {
  shm::check_transport("ClientManager", transport);
  _segment_name = shm::segment_name("ClientManager", _name);
  std::size_t largest = 1;
  for (std::size_t i = 0; i < _devices.size(); ++i) {
    if (!_devices[i]) {
      throw std::runtime_error(fmt::format("ClientManager: channel '{}': device {} of the list is null", _name, i));
    }
    largest = std::max<std::size_t>(
        largest, static_cast<std::size_t>(std::max(_devices[i]->get_rx_size(), _devices[i]->get_tx_size())));
  }
  std::set<std::pair<std::string, std::string>> keys;
  for (const auto& device : _devices) {
    if (!keys.emplace(device->get_name(), device->get_type()).second) {
      throw std::runtime_error(fmt::format("ClientManager: channel '{}': device '{}' of type '{}' is listed twice",
                                           _name, device->get_name(), device->get_type()));
    }
  }
  _server_index.assign(_devices.size(), 0);
  _rx_slots.assign(_devices.size(), nullptr);
  _tx_slots.assign(_devices.size(), nullptr);
  _staging.assign(largest, 0);
  refuse_a_driven_channel();
}

ClientManager::~ClientManager() { detach(); }

bool ClientManager::first_refusal(int reason) noexcept {
  if (reason == _refused_reason && _generation == _refused_generation) {
    return false;
  }
  _refused_reason = reason;
  _refused_generation = _generation;
  return true;
}

void ClientManager::report_server_gone() noexcept {
  Context().journal().jhigh().vlog(Journal::Warning,
                                   "ClientManager: channel '{}': its server (process {}) is gone; waiting for a new one",
                                   _name, _server_pid);
}

void ClientManager::report_copy_failure(const Hal::DeviceRt& device, const char* what) noexcept {
  if (_copy_failure_reported) {
    return;
  }
  _copy_failure_reported = true;
  Context().journal().jhigh().vlog(Journal::Error,
                                   "ClientManager: channel '{}': raw copy of device '{}' failed: {}", _name,
                                   device.get_name(), what);
}

// Finds every device in the server's table; records nothing usable unless all
// of them are there once, with the same record sizes. Each entry is read once
// into private memory and checked there, and every slot address comes from
// those copies and is bounded by the mapped size: the server (or anyone else
// who may write the segment) can change the table meanwhile.
bool ClientManager::pair_devices(std::uint32_t count) {
  std::fill(_server_index.begin(), _server_index.end(), kUnpaired);
  const unsigned char* table = _segment.data() + shm::table_offset();
  std::size_t offset = shm::slots_offset(count);
  for (std::uint32_t k = 0; k < count; ++k) {
    shm::DeviceEntry entry;
    std::memcpy(&entry, table + k * sizeof(entry), sizeof(entry));
    const char* problem = shm::check_entry(entry);
    const std::size_t rx_offset = offset;
    const std::size_t tx_offset = rx_offset + (problem == nullptr ? shm::slot_size(entry.rx_size) : 0);
    offset = tx_offset + (problem == nullptr ? shm::slot_size(entry.tx_size) : 0);
    if (problem == nullptr && offset > _segment.size()) {
      problem = "table does not match the segment size";
    }
    if (problem != nullptr) {
      report_bad_segment(problem);
      return false;
    }
    if (!pair_entry(entry, k, rx_offset, tx_offset)) {
      return false;
    }
  }
  if (offset != _segment.size()) {
    report_bad_segment("table does not match the segment size");
    return false;
  }
  return every_device_paired();
}

bool ClientManager::pair_entry(const shm::DeviceEntry& entry, std::uint32_t k, std::size_t rx_offset,
                               std::size_t tx_offset) noexcept {
  for (std::size_t j = 0; j < _devices.size(); ++j) {
    const Hal::DeviceRt& device = *_devices[j];
    if (device.get_name() != entry.name || device.get_type() != entry.type) {
      continue;
    }
    if (_server_index[j] != kUnpaired) {
      // A table that contradicts itself: which of the two slots would the server use?
      if (first_refusal(DuplicateDevice)) {
        Context().journal().jhigh().vlog(
            Journal::Error,
            "ClientManager: channel '{}': device '{}' of type '{}' is listed twice by process {}; nothing is exchanged",
            _name, device.get_name(), device.get_type(), _server_pid);
      }
      return false;
    }
    if (static_cast<std::uint32_t>(device.get_rx_size()) != entry.rx_size ||
        static_cast<std::uint32_t>(device.get_tx_size()) != entry.tx_size) {
      if (first_refusal(SizeMismatch)) {
        Context().journal().jhigh().vlog(
            Journal::Error,
            "ClientManager: channel '{}': device '{}' record sizes differ: rx {} bytes here and {} on the server, tx {} bytes here and {} on the server; nothing is exchanged",
            _name, device.get_name(), device.get_rx_size(), entry.rx_size, device.get_tx_size(),
            entry.tx_size);
      }
      return false;
    }
    _server_index[j] = k;
    _rx_slots[j] = reinterpret_cast<shm::SlotHeader*>(_segment.data() + rx_offset);
    _tx_slots[j] = reinterpret_cast<shm::SlotHeader*>(_segment.data() + tx_offset);
  }
  return true;
}

bool ClientManager::every_device_paired() noexcept {
  for (std::size_t j = 0; j < _devices.size(); ++j) {
    if (_server_index[j] == kUnpaired) {
      const Hal::DeviceRt& device = *_devices[j];
      if (first_refusal(MissingDevice)) {
        Context().journal().jhigh().vlog(
            Journal::Error,
            "ClientManager: channel '{}': device '{}' of type '{}' is not served by process {}; nothing is exchanged",
            _name, device.get_name(), device.get_type(), _server_pid);
      }
      return false;
    }
  }
  return true;
}

void ClientManager::report_bad_segment(const char* problem) noexcept {
  if (first_refusal(BadSegment)) {
    Context().journal().jhigh().vlog(Journal::Error, "ClientManager: channel '{}': shared memory '{}' refused: {}",
                                     _name, _segment_name, problem);
  }
}

// One client per channel: two writers of the same tx slots would tear them.
// The claim is the segment's client lock, which ends with its holder; the
// token only names the holder's process.
bool ClientManager::claim_channel() {
  const int error = _segment.lock(shm::kClientLock);
  if (error != 0) {
    if (!first_refusal(ChannelTaken)) {
      return false;
    }
    if (error == EAGAIN) {
      const std::uint64_t holder = _header->client_token.load(std::memory_order_acquire);
      Context().journal().jhigh().vlog(
          Journal::Error, "ClientManager: channel '{}' already has a client in process {}; nothing is exchanged",
          _name, token_pid(holder));
    } else {
      Context().journal().jhigh().vlog(Journal::Error,
                                       "ClientManager: channel '{}': cannot lock shared memory '{}' for its client: {}",
                                       _name, _segment_name, std::strerror(error));
    }
    return false;
  }
  _header->client_token.store(_token, std::memory_order_release);
  return true;
}

// A second robot process on a channel that another drives would drive
// nothing, yet take the ROS node's name from the one that drives the robot:
// it is refused before it starts anything else.
void ClientManager::refuse_a_driven_channel() const {
  shm::ShmSegment probe;
  if (probe.open_existing(_segment_name) != 0) {
    return;  // no server yet, or a segment check_server_alive() refuses with its reason
  }
  const shm::HeaderCopy copy = shm::copy_header(probe.data(), probe.size());
  if (shm::check_header(copy, probe.size()) != nullptr || !probe.locked_elsewhere(shm::kClientLock)) {
    return;
  }
  const std::uint64_t holder = shm::header_of(probe.data())->client_token.load(std::memory_order_acquire);
  throw std::runtime_error(fmt::format(
      "ClientManager: channel '{}' is already driven by a client in process {} (shared memory '{}'); one client per "
      "channel: refused",
      _name, token_pid(holder), _segment_name));
}

bool ClientManager::attach() {
  _generation = 0;
  _server_pid = 0;
  const int error = _segment.open_existing(_segment_name);
  if (error == EPERM || error == EACCES) {
    // Someone else could read the commands or forge the states in it.
    if (first_refusal(NotTrusted)) {
      Context().journal().jhigh().vlog(
          Journal::Error,
          "ClientManager: channel '{}': shared memory '{}' refused: owner uid {}, mode {:04o}; only segments of uid {} without group or other access are used",
          _name, _segment_name, _segment.owner(), _segment.mode(), ::geteuid());
    }
    return false;
  }
  if (error != 0) {
    return false;  // no server yet
  }
  // One copy of the header: everything below is decided from it.
  const shm::HeaderCopy copy = shm::copy_header(_segment.data(), _segment.size());
  const char* problem = shm::check_header(copy, _segment.size());
  if (problem == nullptr && copy.state != shm::Serving) {
    problem = "the server has closed it";
  }
  _generation = copy.generation;
  _server_pid = copy.server_pid;
  if (problem != nullptr) {
    // Quiet while a server is still writing its segment (the magic comes
    // last) or has closed it; anything else is reported once.
    const bool transient = _segment.size() < sizeof(shm::ChannelHeader) || copy.magic == 0 ||
                           (copy.magic == shm::kChannelMagic && copy.state != shm::Serving);
    if (!transient) {
      report_bad_segment(problem);
    }
    _segment.unmap();
    return false;
  }
  if (!_segment.locked_elsewhere(shm::kServerLock) || !pair_devices(copy.device_count)) {
    _segment.unmap();
    return false;
  }
  _header = shm::header_of(_segment.data());
  if (!claim_channel()) {
    _header = nullptr;
    _segment.unmap();
    return false;
  }
  _last_rx_frame = 0;
  _last_heartbeat = _header->heartbeat.load(std::memory_order_relaxed);
  _idle_cycles = 0;
  _refused_reason = NoRefusal;
  _refused_generation = 0;
  return true;
}

void ClientManager::detach() {
  if (_header != nullptr && _segment.intact()) {
    std::uint64_t mine = _token;
    _header->client_token.compare_exchange_strong(mine, 0, std::memory_order_acq_rel);
  }
  _header = nullptr;
  _segment.unmap();
}

// A segment cut shorter than the mapping raises SIGBUS wherever the cut-off
// part is touched: it is dropped unread (its claim is not given back) and
// attached afresh later, like any other segment.
bool ClientManager::segment_intact() noexcept {
  if (_segment.intact()) {
    return true;
  }
  _header = nullptr;
  _segment.unmap();
  return false;
}

bool ClientManager::check_server_alive() {
  if (_header != nullptr && segment_intact()) {
    if (_header->state.load(std::memory_order_acquire) == shm::Serving) {
      if (_segment.locked_elsewhere(shm::kServerLock)) {
        return true;
      }
      report_server_gone();
    }
    detach();
  }
  return attach();
}

bool ClientManager::recv() {
  if (_header == nullptr) {
    if (++_idle_cycles >= kLivenessCheckCycles) {
      _idle_cycles = 0;
      attach();
    }
    return false;
  }
  if (!segment_intact()) {
    return false;
  }
  if (_header->state.load(std::memory_order_acquire) != shm::Serving) {
    detach();  // closed, or taken over by a new server: look for it now
    attach();
    return false;
  }
  const std::uint64_t frame = _header->rx_frame.load(std::memory_order_acquire);
  if (frame == _last_rx_frame) {
    if (++_idle_cycles >= kLivenessCheckCycles) {
      // A heartbeat that moved proves the server alive without a system call.
      _idle_cycles = 0;
      const std::uint64_t heartbeat = _header->heartbeat.load(std::memory_order_relaxed);
      if (heartbeat == _last_heartbeat && !_segment.locked_elsewhere(shm::kServerLock)) {
        report_server_gone();
        detach();
      }
      _last_heartbeat = heartbeat;
    }
    return false;
  }
  _idle_cycles = 0;
  bool complete = true;
  for (std::size_t i = 0; i < _devices.size(); ++i) {
    Hal::DeviceRt& device = *_devices[i];
    const int size = device.get_rx_size();
    std::uint64_t seq = 0;
    if (!shm::seqlock_read(_rx_slots[i], _staging.data(), static_cast<std::size_t>(size), &seq)) {
      complete = false;
      continue;
    }
    const auto report = [this](const Hal::DeviceRt& d, const char* what) { report_copy_failure(d, what); };
    complete &= shm::guarded_copy(device, [&] { device.set_rx_raw(_staging.data(), size); }, report);
  }
  if (complete) {
    _last_rx_frame = frame;
  }
  return complete;
}

std::uint64_t ClientManager::server_generation() const { return _header != nullptr ? _header->generation : 0; }

bool ClientManager::send() {
  if (_header == nullptr || !segment_intact() ||
      _header->state.load(std::memory_order_relaxed) != shm::Serving) {
    return false;
  }
  const bool complete = shm::write_slots(_devices, _tx_slots.data(), &Hal::DeviceRt::get_tx_raw,
                                         &Hal::DeviceRt::get_tx_size, [this](const Hal::DeviceRt& d, const char* what) { report_copy_failure(d, what); });
  _header->tx_frame.store(_header->tx_frame.load(std::memory_order_relaxed) + 1, std::memory_order_release);
  return complete;
}

}  // namespace Orvo
