// Fuzz target: the device channel's client against a segment of arbitrary
// bytes. The input is the whole content of the channel's shared-memory
// segment (its size is the input's size), as a broken or foreign server could
// leave it; the server process id in the header, when the input covers it, is
// set to this process so that the checks behind it are reached. A client with
// two joint-sized devices attaches, exchanges a few cycles and detaches.
//
// No input may crash it or make it hang, and a segment the client accepts
// must hold its devices' slots: the table entries it pairs with have the
// devices' record sizes and every slot of the table ends inside the segment.

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "orvo2/client_manager.h"
#include "orvo2/device_rt.h"
#include "orvo2/journal.h"
#include "orvo2/shm_channel_layout.h"

namespace {

constexpr int kRxSize = 44;
constexpr int kTxSize = 24;

class FuzzDevice : public Orvo::Hal::DeviceRt {
public:
  explicit FuzzDevice(const std::string& name)
      : DeviceRt(Orvo::Hal::DeviceInfo{name, "joint_fuzz", 0}, kRxSize, kTxSize) {}
  bool sense() override { return true; }
  bool move() override { return true; }
  bool get_rx_raw(unsigned char* dst, int size) const override { return copy(dst, _rx, size, kRxSize); }
  bool set_rx_raw(unsigned char const* src, int size) override { return copy(_rx, src, size, kRxSize); }
  bool get_tx_raw(unsigned char* dst, int size) const override { return copy(dst, _tx, size, kTxSize); }
  bool set_tx_raw(unsigned char const* src, int size) override { return copy(_tx, src, size, kTxSize); }

private:
  static bool copy(unsigned char* dst, const unsigned char* src, int size, int expected) {
    if (size != expected) {
      std::abort();  // the client asked for a size other than the device's
    }
    std::memcpy(dst, src, static_cast<std::size_t>(size));
    return true;
  }
  unsigned char _rx[kRxSize] = {};
  unsigned char _tx[kTxSize] = {};
};

// The segment as the harness sees it, mapped for the checks.
class Segment {
public:
  Segment(const std::string& name, const std::uint8_t* data, std::size_t size) : _name(name), _size(size) {
    ::shm_unlink(_name.c_str());
    const int fd = ::shm_open(_name.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
    if (fd < 0 || ::ftruncate(fd, static_cast<off_t>(size)) != 0) {
      std::abort();
    }
    if (size > 0) {
      void* address = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
      if (address == MAP_FAILED) {
        std::abort();
      }
      _data = static_cast<unsigned char*>(address);
      std::memcpy(_data, data, size);
      if (size >= sizeof(Orvo::shm::ChannelHeader)) {
        header()->server_pid = static_cast<std::int32_t>(::getpid());
      }
    }
    ::close(fd);
  }
  ~Segment() {
    if (_data != nullptr) {
      ::munmap(_data, _size);
    }
    ::shm_unlink(_name.c_str());
  }
  Segment(const Segment&) = delete;
  Segment& operator=(const Segment&) = delete;

  Orvo::shm::ChannelHeader* header() const { return reinterpret_cast<Orvo::shm::ChannelHeader*>(_data); }

  // True when the table lists `names` with the fuzz devices' record sizes and
  // all of its slots end inside the segment.
  bool holds(const std::vector<std::string>& names) const {
    if (_size < sizeof(Orvo::shm::ChannelHeader)) {
      return false;
    }
    const std::uint64_t count = header()->device_count;
    if (Orvo::shm::table_offset() + count * sizeof(Orvo::shm::DeviceEntry) > _size) {
      return false;
    }
    const auto* table = reinterpret_cast<const Orvo::shm::DeviceEntry*>(_data + Orvo::shm::table_offset());
    std::uint64_t end = Orvo::shm::slots_offset(count);
    std::size_t found = 0;
    for (std::uint64_t k = 0; k < count; ++k) {
      end += Orvo::shm::slot_size(table[k].rx_size) + Orvo::shm::slot_size(table[k].tx_size);
      for (const std::string& name : names) {
        if (std::strncmp(table[k].name, name.c_str(), sizeof(table[k].name)) == 0 &&
            std::strncmp(table[k].type, "joint_fuzz", sizeof(table[k].type)) == 0) {
          if (table[k].rx_size != kRxSize || table[k].tx_size != kTxSize) {
            return false;
          }
          ++found;
        }
      }
    }
    return found >= names.size() && end <= _size;
  }

private:
  std::string _name;
  std::size_t _size;
  unsigned char* _data = nullptr;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string channel = "fuzz_" + std::to_string(::getpid());
  static const bool quiet = [] {
    Orvo::Journal::SetGlobalJournalLevel(3);
    return true;
  }();
  (void)quiet;
  const std::vector<std::string> names{"j1", "j2"};
  Segment segment("/orvo2_" + channel, data, size);
  Orvo::ClientManager client({std::make_shared<FuzzDevice>(names[0]), std::make_shared<FuzzDevice>(names[1])},
                             "shm", channel);
  if (client.check_server_alive() && !segment.holds(names)) {
    std::abort();  // accepted a segment that does not hold the devices' slots
  }
  for (int cycle = 0; cycle < 3; ++cycle) {
    client.recv();
    client.send();
  }
  if (size >= sizeof(Orvo::shm::ChannelHeader)) {
    // The server moves on: a new frame, then it closes the channel.
    segment.header()->rx_frame.fetch_add(1);
    client.recv();
    segment.header()->state.store(Orvo::shm::Closed);
    client.recv();
    client.send();
  }
  return 0;
}
