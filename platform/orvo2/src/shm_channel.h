#pragma once
// Helpers both ends of a device channel use on a segment: its name, the check
// of a mapped segment before trusting any of it, slot addresses, liveness of
// the process at the other end.

#include <cstddef>
#include <cstdint>
#include <string>

#include "orvo2/shm_channel_layout.h"

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

// Null when the `size` bytes at `data` hold a complete segment of this
// layout version that a server has finished writing (state Serving or later),
// with a consistent table; otherwise a short reason. Reads the header and table
// only; never trusts a size it has not bounded.
const char* check_segment(const unsigned char* data, std::size_t size);

inline ChannelHeader* header_of(unsigned char* data) { return reinterpret_cast<ChannelHeader*>(data); }
inline DeviceEntry* table_of(unsigned char* data) {
  return reinterpret_cast<DeviceEntry*>(data + table_offset());
}

// Fills `rx[i]` and `tx[i]` with the slots of table entry i, for every entry.
void locate_slots(unsigned char* data, SlotHeader** rx, SlotHeader** tx);

// Any thread; one system call. True while process `pid` exists.
bool process_alive(std::int32_t pid);

}  // namespace shm
}  // namespace Orvo
