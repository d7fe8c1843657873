#pragma once
// Simulator end of a device channel: creates the channel's shared-memory
// segment, publishes every device's rx record and takes the tx records the
// robot process's ClientManager writes. Devices are paired by name and type.
//
// Threads: construct and destroy on a set-up thread; run() and send() from the
// one thread that drives the devices (the world-update thread). Neither ever
// blocks on the client, allocates or makes a system call.

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

class ServerManager {
public:
  // Set-up thread; allocates, blocks in system calls. Creates "/orvo2_<name>"
  // with one table entry per device, in list order, its pages reserved, and
  // holds the segment's server lock until destroyed. A segment whose server
  // lock nobody holds (its server ended) is replaced. Throws
  // std::runtime_error for a transport other than "shm", a live server
  // already on `name`, a full file system (naming the segment), a segment on
  // the name that belongs to another user or grants group or other access
  // (never replaced: someone else may be using it), a device name
  // or type too long for the table, a device listed twice (same name and
  // type), or a failing system call.
  ServerManager(std::vector<std::shared_ptr<Hal::DeviceRt>> devices, std::string transport,
                std::string name);
  // Set-up thread; system calls. Marks the segment closed and removes its name.
  ~ServerManager();
  ServerManager(const ServerManager&) = delete;
  ServerManager& operator=(const ServerManager&) = delete;

  // Device thread; never blocks, allocates or throws. Copies into the devices
  // (set_tx_raw) every tx record the client wrote since the previous run.
  // True when a new set of tx records was taken, false when the client sent
  // nothing new (or a slot could not be read consistently this time).
  bool run();
  // Device thread; never blocks, allocates or throws. Publishes every device's
  // rx record (get_rx_raw) as one new frame. `blocking` is a hint that this
  // transport does not need: the channel never waits for the client, so both
  // values publish at once and return. False when a device's copy failed.
  bool send(bool blocking);

  // Any thread. The segment's name, e.g. "/orvo2_joint_gz".
  const std::string& segment_name() const { return _segment_name; }

private:
  void create_segment(std::size_t size);
  // Set-up thread, once the segment of `size` bytes is made; never allocates
  // or throws. Writes the header, `table` and empty slots, then marks the
  // segment serving.
  void publish_segment(const std::vector<shm::DeviceEntry>& table, std::size_t size) noexcept;
  void replace_stale_segment();
  void report_copy_failure(const Hal::DeviceRt& device, const char* what) noexcept;

  std::vector<std::shared_ptr<Hal::DeviceRt>> _devices;
  std::string _name;
  std::string _segment_name;
  shm::ShmSegment _segment;
  shm::ChannelHeader* _header = nullptr;
  std::vector<shm::SlotHeader*> _rx_slots;
  std::vector<shm::SlotHeader*> _tx_slots;
  std::vector<std::uint64_t> _last_tx_seq;
  std::vector<unsigned char> _staging;
  std::uint64_t _last_tx_frame = 0;
  bool _copy_failure_reported = false;
};

}  // namespace Orvo
