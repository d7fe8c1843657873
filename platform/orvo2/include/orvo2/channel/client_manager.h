#pragma once
// Robot end of a device channel: maps the segment a ServerManager created
// under the same name, pairs its own devices with the server's by name and
// type, copies the server's rx records into them and writes their tx records.
//
// Threads: construct and destroy on a set-up thread; check_server_alive(),
// recv() and send() from the one thread that drives the devices (the hardware
// thread). None of them blocks on the server, allocates or throws.
//
// Liveness: check_server_alive() maps the segment and checks that its server
// still holds the segment's server lock (not its process id, which another
// process may have by now); the client holds the client lock while attached.
// Afterwards recv() notices at once a server that closed the channel or that
// a new server replaced (the header's state); a server that died silently is
// noticed after kLivenessCheckCycles cycles without new data: if its heartbeat
// did not move meanwhile, its lock is checked, and its loss is logged once.
// While detached, recv() tries to attach again every kLivenessCheckCycles
// cycles, so a new server on the same name is picked up.
// Those checks, and one fstat per call while attached (a segment truncated
// under the client is dropped before it is touched), are the only system
// calls of the cycle.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "orvo2/channel/shm_segment.h"
#include "orvo2/devices/device_rt.h"

namespace Orvo {

namespace shm {
struct ChannelHeader;
struct DeviceEntry;
struct SlotHeader;
}  // namespace shm

class ClientManager {
public:
  static constexpr unsigned kLivenessCheckCycles = 250;

  // Set-up thread; allocates, system calls. Connects nothing yet. Throws
  // std::runtime_error for a transport other than "shm", an invalid channel
  // name, a device listed twice (same name and type), or a channel that a
  // live client (of this process or another) drives already, naming the
  // channel and that client's process.
  ClientManager(std::vector<std::shared_ptr<Hal::DeviceRt>> devices, std::string transport,
                std::string name);
  // Set-up thread; system calls. Gives the channel up for another client.
  ~ClientManager();
  ClientManager(const ClientManager&) = delete;
  ClientManager& operator=(const ClientManager&) = delete;

  // Device thread; system calls, never blocks for long, never allocates or
  // throws. True when a live server whose table holds every device of this
  // client once, with the same record sizes, serves the channel (and this
  // client holds it). A refusal is logged once per server; a segment of
  // another user, or with group or other access, is refused unread.
  bool check_server_alive();
  // Device thread; never blocks, allocates or throws. True when a new frame
  // of rx records was copied into every device (set_rx_raw); false when the
  // server sent nothing new, is gone, or a slot could not be read consistently
  // (the devices whose slot was read have the new record).
  bool recv();
  // Device thread; never blocks, allocates or throws. Writes every device's
  // tx record (get_tx_raw) as one new frame. False when not connected.
  bool send();

  // Device thread; never blocks. The generation of the server this client is
  // attached to, distinct for every server instance; 0 while detached.
  std::uint64_t server_generation() const;

  // Any thread. The segment's name, e.g. "/orvo2_joint_gz".
  const std::string& segment_name() const { return _segment_name; }

private:
  bool attach();
  void detach();
  bool segment_intact() noexcept;
  bool pair_devices(std::uint32_t count);
  // Device thread, in pair_devices; never allocates or throws. Pairs every
  // device named and typed as entry `k` with its slots at the given offsets;
  // false, logged once per server, when such a device is paired already (the
  // table lists it twice) or has other record sizes.
  bool pair_entry(const shm::DeviceEntry& entry, std::uint32_t k, std::size_t rx_offset,
                  std::size_t tx_offset) noexcept;
  // Device thread, in pair_devices; never allocates or throws. False, logged
  // once per server, when the table lacks a device.
  bool every_device_paired() noexcept;
  // Device thread; never allocates or throws. Logs once per server that the
  // segment is refused for `problem`.
  void report_bad_segment(const char* problem) noexcept;
  bool claim_channel();
  void refuse_a_driven_channel() const;
  void report_server_gone() noexcept;
  bool first_refusal(int reason) noexcept;
  void report_copy_failure(const Hal::DeviceRt& device, const char* what) noexcept;

  std::vector<std::shared_ptr<Hal::DeviceRt>> _devices;
  std::string _name;
  std::string _segment_name;
  shm::ShmSegment _segment;
  shm::ChannelHeader* _header = nullptr;     // set while attached
  std::uint64_t _generation = 0;             // of the server attached to, from the private header copy
  std::int32_t _server_pid = 0;              // likewise
  std::vector<std::uint32_t> _server_index;  // per device, its entry in the server's table
  std::vector<shm::SlotHeader*> _rx_slots;   // per device
  std::vector<shm::SlotHeader*> _tx_slots;
  std::vector<unsigned char> _staging;
  std::uint64_t _token;
  std::uint64_t _last_rx_frame = 0;
  std::uint64_t _last_heartbeat = 0;
  std::uint64_t _refused_generation = 0;
  int _refused_reason = 0;
  unsigned _idle_cycles = 0;
  bool _copy_failure_reported = false;
};

}  // namespace Orvo
