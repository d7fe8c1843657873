#include "orvo2/channel/server_manager.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <exception>
#include <new>
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

void copy_text(char* dst, std::size_t capacity, const std::string& text, const char* what,
               const std::string& channel) {
  if (text.size() >= capacity) {
    throw std::runtime_error(fmt::format("ServerManager: channel '{}': device {} '{}' has {} characters, at most {} fit",
                                         channel, what, text, text.size(), capacity - 1));
  }
  std::memcpy(dst, text.c_str(), text.size() + 1);
}

std::uint64_t new_generation() {
  const auto now = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(now).count()) ^
         (static_cast<std::uint64_t>(::getpid()) << 44);
}

// Set-up; allocates. The table entry of device `i` of channel `channel`.
// Throws std::runtime_error naming the channel for a null device, record
// sizes outside 1 to kMaxRecordSize, or a name or type too long for the entry.
shm::DeviceEntry table_entry(const Hal::DeviceRt* device, std::size_t i, const std::string& channel) {
  if (device == nullptr) {
    throw std::runtime_error(fmt::format("ServerManager: channel '{}': device {} of the list is null", channel, i));
  }
  const int rx = device->get_rx_size();
  const int tx = device->get_tx_size();
  if (rx <= 0 || tx <= 0 || static_cast<std::uint32_t>(std::max(rx, tx)) > shm::kMaxRecordSize) {
    throw std::runtime_error(
        fmt::format("ServerManager: channel '{}': device '{}' has record sizes rx {} and tx {}, each must be 1 to {}",
                    channel, device->get_name(), rx, tx, shm::kMaxRecordSize));
  }
  shm::DeviceEntry entry;
  std::memset(&entry, 0, sizeof(entry));
  copy_text(entry.name, sizeof(entry.name), device->get_name(), "name", channel);
  copy_text(entry.type, sizeof(entry.type), device->get_type(), "type", channel);
  entry.id = device->get_id();
  entry.rx_size = static_cast<std::uint32_t>(rx);
  entry.tx_size = static_cast<std::uint32_t>(tx);
  return entry;
}

// Set-up; allocates. Throws std::runtime_error naming the channel, the device
// and its type when two devices share a name and type.
void refuse_listed_twice(const std::vector<std::shared_ptr<Hal::DeviceRt>>& devices, const std::string& channel) {
  std::set<std::pair<std::string, std::string>> keys;
  for (const auto& device : devices) {
    if (!keys.emplace(device->get_name(), device->get_type()).second) {
      throw std::runtime_error(fmt::format("ServerManager: channel '{}': device '{}' of type '{}' is listed twice",
                                           channel, device->get_name(), device->get_type()));
    }
  }
}

}  // namespace

ServerManager::ServerManager(std::vector<std::shared_ptr<Hal::DeviceRt>> devices, std::string transport,
                             std::string name)
    : _devices(std::move(devices)), _name(std::move(name)) {
  shm::check_transport("ServerManager", transport);
  _segment_name = shm::segment_name("ServerManager", _name);
  if (_devices.size() > shm::kMaxDevices) {
    throw std::runtime_error(fmt::format("ServerManager: channel '{}': {} devices, at most {} fit", _name,
                                         _devices.size(), shm::kMaxDevices));
  }

  // Build the table privately first so that a bad device is refused before
  // anything is created.
  std::vector<shm::DeviceEntry> table(_devices.size());
  std::size_t largest = 1;
  for (std::size_t i = 0; i < _devices.size(); ++i) {
    table[i] = table_entry(_devices[i].get(), i, _name);
    largest = std::max<std::size_t>(largest, std::max(table[i].rx_size, table[i].tx_size));
  }
  refuse_listed_twice(_devices, _name);

  const auto count = static_cast<std::uint32_t>(table.size());
  _rx_slots.resize(count);
  _tx_slots.resize(count);
  _last_tx_seq.assign(count, 0);
  _staging.assign(largest, 0);

  // Nothing below throws once the segment exists.
  const std::size_t size = shm::segment_size(table.data(), count);
  create_segment(size);
  publish_segment(table, size);
}

void ServerManager::create_segment(std::size_t size) {
  int error = _segment.create_exclusive(_segment_name, size, shm::kServerLock);
  if (error == EEXIST) {
    replace_stale_segment();
    error = _segment.create_exclusive(_segment_name, size, shm::kServerLock);
  }
  if (error != 0) {
    throw std::runtime_error(fmt::format("ServerManager: channel '{}': cannot create shared memory '{}' of {} bytes: {}",
                                         _name, _segment_name, size, std::strerror(error)));
  }
}

void ServerManager::publish_segment(const std::vector<shm::DeviceEntry>& table, std::size_t size) noexcept {
  const auto count = static_cast<std::uint32_t>(table.size());
  unsigned char* data = _segment.data();
  _header = new (data) shm::ChannelHeader{};
  _header->layout_version = shm::kLayoutVersion;
  _header->device_count = count;
  _header->segment_size = size;
  _header->generation = new_generation();
  _header->server_pid = static_cast<std::int32_t>(::getpid());
  if (count > 0) {
    std::memcpy(shm::table_of(data), table.data(), count * sizeof(shm::DeviceEntry));
  }
  shm::locate_slots(data, _rx_slots.data(), _tx_slots.data());
  for (std::uint32_t i = 0; i < count; ++i) {
    new (_rx_slots[i]) shm::SlotHeader{};
    new (_tx_slots[i]) shm::SlotHeader{};
  }
  // The magic last: a client takes a segment without it for one still being written.
  _header->magic = shm::kChannelMagic;
  _header->state.store(shm::Serving, std::memory_order_release);
}

// A segment whose server no longer holds its lock (its process is gone,
// whatever process now has its id) is marked superseded, so that a client
// still mapping it moves on, and its name is removed. A segment of a live
// server is left alone.
void ServerManager::replace_stale_segment() {
  shm::ShmSegment old;
  const int error = old.open_existing(_segment_name);
  if (error == EPERM || error == EACCES) {
    throw std::runtime_error(fmt::format(
        "ServerManager: channel '{}': shared memory '{}' is held by a segment of owner uid {} with mode {:04o}; only segments of uid {} without group or other access are used: remove it to serve the channel",
        _name, _segment_name, old.owner(), old.mode(), ::geteuid()));
  }
  if (error == 0 && old.size() >= sizeof(shm::ChannelHeader)) {
    shm::ChannelHeader* header = shm::header_of(old.data());
    const bool ours = header->magic == shm::kChannelMagic && header->layout_version == shm::kLayoutVersion;
    if (ours) {
      const std::uint32_t state = header->state.load(std::memory_order_acquire);
      if ((state == shm::Serving || state == shm::Initialising) && old.locked_elsewhere(shm::kServerLock)) {
        throw std::runtime_error(fmt::format("ServerManager: channel '{}' is already served by process {} (shared memory '{}')",
                                             _name, header->server_pid, _segment_name));
      }
      header->state.store(shm::Superseded, std::memory_order_release);
    }
  }
  Context().journal().jmid().vlog(Journal::Warning,
                                   "ServerManager: channel '{}': replacing the stale shared memory '{}'",
                                   _name, _segment_name);
  shm::ShmSegment::unlink(_segment_name);
}

ServerManager::~ServerManager() {
  if (_header == nullptr) {
    return;
  }
  // A server that another took over (it was believed dead) no longer owns the name.
  std::uint32_t expected = shm::Serving;
  if (_header->state.compare_exchange_strong(expected, shm::Closed, std::memory_order_acq_rel)) {
    shm::ShmSegment::unlink(_segment_name);
  }
}

void ServerManager::report_copy_failure(const Hal::DeviceRt& device, const char* what) noexcept {
  if (_copy_failure_reported) {
    return;
  }
  _copy_failure_reported = true;
  Context().journal().jhigh().vlog(Journal::Error,
                                   "ServerManager: channel '{}': raw copy of device '{}' failed: {}", _name,
                                   device.get_name(), what);
}

bool ServerManager::run() {
  _header->heartbeat.store(_header->heartbeat.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  const std::uint64_t frame = _header->tx_frame.load(std::memory_order_acquire);
  if (frame == _last_tx_frame) {
    return false;
  }
  bool complete = true;
  for (std::size_t i = 0; i < _devices.size(); ++i) {
    shm::SlotHeader* slot = _tx_slots[i];
    if (slot->seq.load(std::memory_order_acquire) == _last_tx_seq[i]) {
      continue;  // not written since the last run (or never)
    }
    Hal::DeviceRt& device = *_devices[i];
    const int size = device.get_tx_size();
    std::uint64_t seq = 0;
    if (!shm::seqlock_read(slot, _staging.data(), static_cast<std::size_t>(size), &seq)) {
      complete = false;
      continue;
    }
    const auto report = [this](const Hal::DeviceRt& d, const char* what) { report_copy_failure(d, what); };
    if (shm::guarded_copy(device, [&] { device.set_tx_raw(_staging.data(), size); }, report)) {
      _last_tx_seq[i] = seq;
    } else {
      complete = false;
    }
  }
  if (complete) {
    _last_tx_frame = frame;
  }
  return complete;
}

bool ServerManager::send(bool /*blocking*/) {
  _header->heartbeat.store(_header->heartbeat.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  const bool complete = shm::write_slots(_devices, _rx_slots.data(), &Hal::DeviceRt::get_rx_raw,
                                         &Hal::DeviceRt::get_rx_size, [this](const Hal::DeviceRt& d, const char* what) { report_copy_failure(d, what); });
  _header->rx_frame.store(_header->rx_frame.load(std::memory_order_relaxed) + 1, std::memory_order_release);
  return complete;
}

}  // namespace Orvo
