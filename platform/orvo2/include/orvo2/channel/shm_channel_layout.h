#pragma once
// Byte layout of a device channel's shared-memory segment, shared by the
// server (which creates it) and the client (which maps it). Plain data only:
// fixed-size members, atomics for what both sides touch, no pointers; every
// offset is computed from the device table.
//
//   [ChannelHeader]               4 cache lines, at offset 0
//   [DeviceEntry x device_count]  at sizeof(ChannelHeader)
//   padding to a cache line
//   per device, in table order:  rx slot, then tx slot
//
// A slot is a SlotHeader (the sequence counter) followed by the record bytes at
// offset 8 (8-byte aligned), padded to a whole number of cache lines, so that
// a 44-byte joint record and its counter share one 64-byte line. Slots start
// on 64-byte boundaries; the segment itself is page aligned by mmap.

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace Orvo {
namespace shm {

constexpr std::uint64_t kChannelMagic = 0x3256524f4e414843ull;  // "CHANORV2"
constexpr std::uint32_t kLayoutVersion = 1;
constexpr std::size_t kCacheLine = 64;
constexpr std::size_t kDeviceNameSize = 64;  // NUL included: 63 characters fit
constexpr std::size_t kDeviceTypeSize = 32;  // NUL included: 31 characters fit
constexpr std::uint32_t kMaxRecordSize = 1u << 16;
constexpr std::uint32_t kMaxDevices = 1u << 12;

// Liveness: the server holds the write lock on byte kServerLock of the
// segment for as long as it serves, the client attached to it the one on byte
// kClientLock (open file description locks). A lock ends with the process that
// holds it and only a process that may open the segment can take one, so,
// unlike a process id, neither can be outlived or taken by someone else. The
// process ids in the header only name the holders in messages.
enum LockByte : int { kServerLock = 0, kClientLock = 1 };

enum ChannelState : std::uint32_t {
  Initialising = 0,  // the server is still writing the table
  Serving = 1,       // table complete, server running
  Closed = 2,        // the server was destroyed and removed the name
  Superseded = 3,    // a new server found this one dead and took the name
};

struct alignas(kCacheLine) ChannelHeader {
  // Written once by the server before `state` becomes Serving.
  std::uint64_t magic;
  std::uint32_t layout_version;
  std::uint32_t device_count;
  std::uint64_t segment_size;
  std::uint64_t generation;  // distinct for every server instance
  std::int32_t server_pid;
  std::atomic<std::uint32_t> state;

  // Written by the server only; each on its own line, so that the heartbeat
  // does not evict the frame counter a client polls every cycle.
  alignas(kCacheLine) std::atomic<std::uint64_t> heartbeat;  // +1 per run() and send()
  alignas(kCacheLine) std::atomic<std::uint64_t> rx_frame;   // +1 per send(), after the rx slots

  // Written by the client only.
  alignas(kCacheLine) std::atomic<std::uint64_t> tx_frame;  // +1 per send(), after the tx slots
  std::atomic<std::uint64_t> client_token;                  // (pid << 32 | instance), 0 when free
};

struct DeviceEntry {
  char name[kDeviceNameSize];  // NUL terminated
  char type[kDeviceTypeSize];  // NUL terminated
  std::int32_t id;
  std::uint32_t rx_size;
  std::uint32_t tx_size;
  std::uint32_t reserved;
};

// Sequence lock: even when the record is stable, odd while its writer copies.
struct SlotHeader {
  std::atomic<std::uint64_t> seq;
};

constexpr std::size_t kSlotDataOffset = sizeof(SlotHeader);

constexpr std::size_t align_up(std::size_t n, std::size_t a) { return (n + a - 1) / a * a; }
constexpr std::size_t table_offset() { return sizeof(ChannelHeader); }
constexpr std::size_t slots_offset(std::size_t device_count) {
  return align_up(table_offset() + device_count * sizeof(DeviceEntry), kCacheLine);
}
constexpr std::size_t slot_size(std::size_t record_size) {
  return align_up(kSlotDataOffset + record_size, kCacheLine);
}

static_assert(std::atomic<std::uint64_t>::is_always_lock_free, "shared atomics must be lock free");
static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "shared atomics must be lock free");
static_assert(sizeof(ChannelHeader) == 4 * kCacheLine, "header layout changed");
static_assert(sizeof(DeviceEntry) == 112, "device entry layout changed");
static_assert(sizeof(SlotHeader) == 8, "slot header layout changed");

}  // namespace shm
}  // namespace Orvo
