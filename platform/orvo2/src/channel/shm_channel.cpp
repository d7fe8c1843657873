#include "shm_channel.h"

#include <cstring>
#include <stdexcept>

#include <fmt/format.h>

namespace Orvo {
namespace shm {

namespace {
constexpr std::size_t kMaxChannelName = 200;

bool terminated(const char* text, std::size_t capacity) {
  return std::memchr(text, '\0', capacity) != nullptr;
}
}  // namespace

std::string segment_name(const std::string& who, const std::string& channel) {
  if (channel.empty() || channel.size() > kMaxChannelName || channel.find('/') != std::string::npos) {
    throw std::runtime_error(fmt::format("{}: invalid channel name '{}' (1 to {} characters, no '/')", who, channel,
                                         kMaxChannelName));
  }
  return "/orvo2_" + channel;
}

void check_transport(const std::string& who, const std::string& transport) {
  if (transport != "shm") {
    throw std::runtime_error(fmt::format("{}: unsupported transport '{}' (only \"shm\" exists)", who, transport));
  }
}

std::size_t segment_size(const DeviceEntry* table, std::uint32_t count) {
  std::size_t size = slots_offset(count);
  for (std::uint32_t i = 0; i < count; ++i) {
    size += slot_size(table[i].rx_size) + slot_size(table[i].tx_size);
  }
  return size;
}

HeaderCopy copy_header(const unsigned char* data, std::size_t size) {
  HeaderCopy copy;
  if (size < sizeof(ChannelHeader)) {
    return copy;
  }
  const auto* header = reinterpret_cast<const ChannelHeader*>(data);
  const auto read = [](auto& field, const auto& shared) { std::memcpy(&field, &shared, sizeof(field)); };
  read(copy.magic, header->magic);
  read(copy.segment_size, header->segment_size);
  read(copy.generation, header->generation);
  read(copy.layout_version, header->layout_version);
  read(copy.device_count, header->device_count);
  read(copy.server_pid, header->server_pid);
  copy.state = header->state.load(std::memory_order_acquire);
  return copy;
}

const char* check_header(const HeaderCopy& header, std::size_t size) {
  if (size < sizeof(ChannelHeader)) {
    return "too small for a header";
  }
  if (header.magic != kChannelMagic) {
    return "not a device channel (bad magic)";
  }
  if (header.layout_version != kLayoutVersion) {
    return "other layout version";
  }
  if (header.state == Initialising) {
    return "server still initialising";
  }
  if (header.device_count > kMaxDevices || slots_offset(header.device_count) > size || header.segment_size != size) {
    return "inconsistent device count or size";
  }
  return nullptr;
}

const char* check_entry(const DeviceEntry& entry) {
  if (!terminated(entry.name, kDeviceNameSize) || !terminated(entry.type, kDeviceTypeSize) || entry.rx_size == 0 ||
      entry.rx_size > kMaxRecordSize || entry.tx_size == 0 || entry.tx_size > kMaxRecordSize) {
    return "corrupt device table";
  }
  return nullptr;
}

void locate_slots(unsigned char* data, SlotHeader** rx, SlotHeader** tx) {
  const ChannelHeader* header = header_of(data);
  const DeviceEntry* table = table_of(data);
  std::size_t offset = slots_offset(header->device_count);
  for (std::uint32_t i = 0; i < header->device_count; ++i) {
    rx[i] = reinterpret_cast<SlotHeader*>(data + offset);
    offset += slot_size(table[i].rx_size);
    tx[i] = reinterpret_cast<SlotHeader*>(data + offset);
    offset += slot_size(table[i].tx_size);
  }
}

}  // namespace shm
}  // namespace Orvo
