#pragma once
// Helpers both ends of a device channel use on a segment: its name, the check
// of a mapped segment before trusting any of it, slot addresses.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "orvo2/channel/shm_channel_layout.h"
#include "orvo2/devices/device_rt.h"
#include "shm_seqlock.h"

namespace Orvo {
namespace shm {

// Set-up. The shared-memory name of channel `channel` ("/orvo2_<channel>");
// throws std::runtime_error naming `who` and the channel when it is empty,
// holds a '/' or is too long.
std::string segment_name(const std::string& who, const std::string& channel);

// Set-up. Throws std::runtime_error naming `who` unless `transport` is "shm".
void check_transport(const std::string& who, const std::string& transport);

// Size of a segment whose table lists `count` devices.
std::size_t segment_size(const DeviceEntry* table, std::uint32_t count);

// The header fields a client decides on, read once from a segment that
// another process may change at any time.
struct HeaderCopy {
  std::uint64_t magic = 0;
  std::uint64_t segment_size = 0;
  std::uint64_t generation = 0;
  std::uint32_t layout_version = 0;
  std::uint32_t device_count = 0;
  std::int32_t server_pid = 0;
  std::uint32_t state = Initialising;
};

// Reads the header of the `size` bytes at `data` once; all zero when they
// cannot hold one.
HeaderCopy copy_header(const unsigned char* data, std::size_t size);

// Null when `header` describes a segment of this layout version and of
// `size` bytes that a server has finished writing (state Serving or later),
// whose table lies inside those bytes; otherwise a short reason.
const char* check_header(const HeaderCopy& header, std::size_t size);

// Null when the table entry (a private copy) is well formed; otherwise a
// short reason.
const char* check_entry(const DeviceEntry& entry);

inline ChannelHeader* header_of(unsigned char* data) { return reinterpret_cast<ChannelHeader*>(data); }
inline DeviceEntry* table_of(unsigned char* data) {
  return reinterpret_cast<DeviceEntry*>(data + table_offset());
}

// Fills `rx[i]` and `tx[i]` with the slots of table entry i, for every entry.
void locate_slots(unsigned char* data, SlotHeader** rx, SlotHeader** tx);

// Control cycle; never throws. Runs `copy` (a device's raw accessor) and
// turns an exception into false, handed to `report(device, text)`.
template <typename Copy, typename Report>
bool guarded_copy(const Hal::DeviceRt& device, Copy&& copy, Report&& report) noexcept {
  try {
    copy();
    return true;
  } catch (const std::exception& e) {
    report(device, e.what());
  } catch (...) {
    report(device, "unknown exception");
  }
  return false;
}

// Control cycle; never throws or allocates. Writes one record of every device
// into its slot under the slot's sequence lock: `get_raw` and `size_of` pick
// the rx or the tx record. False when a device's accessor failed.
template <typename Report>
bool write_slots(const std::vector<std::shared_ptr<Hal::DeviceRt>>& devices, SlotHeader* const* slots,
                 bool (Hal::DeviceRt::*get_raw)(unsigned char*, int) const,
                 int (Hal::DeviceRt::*size_of)() const, Report&& report) noexcept {
  bool complete = true;
  for (std::size_t i = 0; i < devices.size(); ++i) {
    const Hal::DeviceRt& device = *devices[i];
    SeqlockWriteGuard guard(slots[i]);
    complete &= guarded_copy(
        device, [&] { (device.*get_raw)(slot_data(slots[i]), (device.*size_of)()); }, report);
  }
  return complete;
}

}  // namespace shm
}  // namespace Orvo
