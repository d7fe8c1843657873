#include "orvo2/client_manager.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <exception>
#include <set>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>

#include "orvo2/context.h"
#include "orvo2/journal.h"
#include "orvo2/shm_channel_layout.h"
#include "shm_channel.h"
#include "shm_seqlock.h"

namespace Orvo {

namespace {

enum RefusalReason : int { NoRefusal = 0, BadSegment, MissingDevice, DuplicateDevice, SizeMismatch, ChannelTaken };

std::uint64_t new_token() {
  static std::atomic<std::uint32_t> instances{0};
  return (static_cast<std::uint64_t>(::getpid()) << 32) | (instances.fetch_add(1) + 1);
}

std::int32_t token_pid(std::uint64_t token) { return static_cast<std::int32_t>(token >> 32); }

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
}

ClientManager::~ClientManager() { detach(); }

bool ClientManager::first_refusal(int reason) noexcept {
  const std::uint64_t generation = _header != nullptr ? _header->generation : 0;
  if (reason == _refused_reason && generation == _refused_generation) {
    return false;
  }
  _refused_reason = reason;
  _refused_generation = generation;
  return true;
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

// Finds every device in the server's table; records nothing unless all of
// them are there once, with the same record sizes.
bool ClientManager::pair_devices() {
  const std::uint32_t count = _header->device_count;
  const shm::DeviceEntry* table = shm::table_of(_segment.data());
  for (std::size_t j = 0; j < _devices.size(); ++j) {
    const Hal::DeviceRt& device = *_devices[j];
    const auto listed_from = [&](std::uint32_t k) {
      while (k < count && (device.get_name() != table[k].name || device.get_type() != table[k].type)) {
        ++k;
      }
      return k;
    };
    const std::uint32_t k = listed_from(0);
    if (k < count && listed_from(k + 1) < count) {
      // A table that contradicts itself: which of the two slots would the server use?
      if (first_refusal(DuplicateDevice)) {
        Context().journal().jhigh().vlog(
            Journal::Error,
            "ClientManager: channel '{}': device '{}' of type '{}' is listed twice by process {}; nothing is exchanged",
            _name, device.get_name(), device.get_type(), _header->server_pid);
      }
      return false;
    }
    if (k == count) {
      if (first_refusal(MissingDevice)) {
        Context().journal().jhigh().vlog(
            Journal::Error,
            "ClientManager: channel '{}': device '{}' of type '{}' is not served by process {}; nothing is exchanged",
            _name, device.get_name(), device.get_type(), _header->server_pid);
      }
      return false;
    }
    const shm::DeviceEntry& entry = table[k];
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
  }
  // Slot addresses: walk the table once, in the server's order.
  std::size_t offset = shm::slots_offset(count);
  for (std::uint32_t k = 0; k < count; ++k) {
    auto* rx = reinterpret_cast<shm::SlotHeader*>(_segment.data() + offset);
    offset += shm::slot_size(table[k].rx_size);
    auto* tx = reinterpret_cast<shm::SlotHeader*>(_segment.data() + offset);
    offset += shm::slot_size(table[k].tx_size);
    for (std::size_t j = 0; j < _devices.size(); ++j) {
      if (_server_index[j] == k) {
        _rx_slots[j] = rx;
        _tx_slots[j] = tx;
      }
    }
  }
  return true;
}

// One client per channel: two writers of the same tx slots would tear them.
// A holder whose process is gone is replaced.
bool ClientManager::claim_channel() {
  std::uint64_t holder = _header->client_token.load(std::memory_order_acquire);
  while (holder != _token) {
    const bool holder_gone =
        holder == 0 || (token_pid(holder) != static_cast<std::int32_t>(::getpid()) &&
                        !shm::process_alive(token_pid(holder)));
    if (!holder_gone) {
      if (first_refusal(ChannelTaken)) {
        Context().journal().jhigh().vlog(
            Journal::Error, "ClientManager: channel '{}' already has a client in process {}; nothing is exchanged",
            _name, token_pid(holder));
      }
      return false;
    }
    if (_header->client_token.compare_exchange_weak(holder, _token, std::memory_order_acq_rel)) {
      return true;
    }
  }
  return true;
}

bool ClientManager::attach() {
  if (_segment.open_existing(_segment_name) != 0) {
    return false;  // no server yet
  }
  const char* problem = shm::check_segment(_segment.data(), _segment.size());
  _header = shm::header_of(_segment.data());
  if (problem == nullptr && _header->state.load(std::memory_order_acquire) != shm::Serving) {
    problem = "the server has closed it";
  }
  if (problem != nullptr) {
    // Quiet while a server is still writing its segment (the magic comes
    // last) or has closed it; anything else is reported once.
    const bool transient = _segment.size() < sizeof(shm::ChannelHeader) || _header->magic == 0 ||
                           (_header->magic == shm::kChannelMagic &&
                            _header->state.load(std::memory_order_acquire) != shm::Serving);
    _header = nullptr;
    if (!transient && first_refusal(BadSegment)) {
      Context().journal().jhigh().vlog(Journal::Error, "ClientManager: channel '{}': shared memory '{}' refused: {}",
                                       _name, _segment_name, problem);
    }
    _segment.unmap();
    return false;
  }
  if (!shm::process_alive(_header->server_pid) || !pair_devices() || !claim_channel()) {
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
  if (_header != nullptr) {
    std::uint64_t mine = _token;
    _header->client_token.compare_exchange_strong(mine, 0, std::memory_order_acq_rel);
    _header = nullptr;
  }
  _segment.unmap();
}

bool ClientManager::check_server_alive() {
  if (_header != nullptr) {
    if (_header->state.load(std::memory_order_acquire) == shm::Serving &&
        shm::process_alive(_header->server_pid)) {
      return true;
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
      if (heartbeat == _last_heartbeat && !shm::process_alive(_header->server_pid)) {
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
  if (_header == nullptr || _header->state.load(std::memory_order_relaxed) != shm::Serving) {
    return false;
  }
  const bool complete = shm::write_slots(_devices, _tx_slots.data(), &Hal::DeviceRt::get_tx_raw,
                                         &Hal::DeviceRt::get_tx_size, [this](const Hal::DeviceRt& d, const char* what) { report_copy_failure(d, what); });
  _header->tx_frame.store(_header->tx_frame.load(std::memory_order_relaxed) + 1, std::memory_order_release);
  return complete;
}

}  // namespace Orvo
