// Fuzz target: the device channel's client against a segment of arbitrary
// bytes. The input is the whole content of the channel's shared-memory
// segment (its size is the input's size), as a broken or foreign server could
// leave it; the harness holds the segment's server lock, as a live server
// does, so that the checks behind it are reached. A client with two
// joint-sized devices attaches, exchanges a few cycles and detaches.
//
// Then the segment changes under the attached client, as another writer of it
// could change it: the input's last 8 bytes give a new device count and a new
// size (modulo twice the input's size, plus one); the segment is cut to
// nothing and rewritten at that size with the input's bytes, its header
// holding the new count and size. The client exchanges and checks again (one
// still attached keeps what it paired with: it never reads a table twice), the
// segment gets its first content back, and the server moves on.
//
// No input may crash it or make it hang, and a segment the client accepts
// must hold its devices' slots: the table entries it pairs with have the
// devices' record sizes and every slot of the table ends inside the segment.

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "orvo2/channel/client_manager.h"
#include "orvo2/channel/shm_channel_layout.h"
#include "orvo2/context/journal.h"
#include "orvo2/devices/device_rt.h"

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

// True when `segment` (a segment's whole content) lists `names` in its table
// with the fuzz devices' record sizes and all of its slots end inside it.
bool holds(const std::vector<unsigned char>& segment, const std::vector<std::string>& names) {
  if (segment.size() < sizeof(Orvo::shm::ChannelHeader)) {
    return false;
  }
  const auto* header = reinterpret_cast<const Orvo::shm::ChannelHeader*>(segment.data());
  const std::uint64_t count = header->device_count;
  if (Orvo::shm::table_offset() + count * sizeof(Orvo::shm::DeviceEntry) > segment.size()) {
    return false;
  }
  const auto* table = reinterpret_cast<const Orvo::shm::DeviceEntry*>(segment.data() + Orvo::shm::table_offset());
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
  return found >= names.size() && end <= segment.size();
}

// The channel's segment as the harness writes it: through its file, so that
// the harness itself never touches a page the segment no longer has.
class Segment {
public:
  Segment(const std::string& name, std::vector<unsigned char> content) : _name(name), _content(std::move(content)) {
    ::shm_unlink(_name.c_str());
    _fd = ::shm_open(_name.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
    struct flock server_lock {};
    server_lock.l_type = F_WRLCK;
    server_lock.l_whence = SEEK_SET;
    server_lock.l_start = Orvo::shm::kServerLock;
    server_lock.l_len = 1;
    if (_fd < 0 || ::fchmod(_fd, 0600) != 0 || ::fcntl(_fd, F_OFD_SETLK, &server_lock) != 0) {
      std::abort();
    }
    rewrite(_content);
  }
  ~Segment() {
    ::close(_fd);
    ::shm_unlink(_name.c_str());
  }
  Segment(const Segment&) = delete;
  Segment& operator=(const Segment&) = delete;

  const std::vector<unsigned char>& content() const { return _content; }

  // Cuts the segment to nothing, then writes `bytes` as its whole content.
  void rewrite(const std::vector<unsigned char>& bytes) const {
    if (::ftruncate(_fd, 0) != 0 || ::ftruncate(_fd, static_cast<off_t>(bytes.size())) != 0 ||
        ::pwrite(_fd, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size())) {
      std::abort();
    }
  }

  // Writes `value` at `offset`, as the server writes its header.
  template <typename T>
  void write_at(std::size_t offset, T value) const {
    if (::pwrite(_fd, &value, sizeof(value), static_cast<off_t>(offset)) != static_cast<ssize_t>(sizeof(value))) {
      std::abort();
    }
  }
  const Orvo::shm::ChannelHeader& header() const {
    return *reinterpret_cast<const Orvo::shm::ChannelHeader*>(_content.data());
  }

private:
  std::string _name;
  std::vector<unsigned char> _content;
  int _fd = -1;
};

// The input's bytes at the size its last 8 bytes give, with that size and
// the device count they give in the header.
std::vector<unsigned char> changed_content(const std::vector<unsigned char>& content) {
  std::uint32_t count = 0;
  std::uint32_t size = 0;
  std::memcpy(&count, content.data() + content.size() - 8, 4);
  std::memcpy(&size, content.data() + content.size() - 4, 4);
  std::vector<unsigned char> changed(content);
  changed.resize(size % (2 * content.size() + 1));
  if (changed.size() >= sizeof(Orvo::shm::ChannelHeader)) {
    auto* header = reinterpret_cast<Orvo::shm::ChannelHeader*>(changed.data());
    header->device_count = count;
    header->segment_size = changed.size();
  }
  return changed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string channel = "fuzz_" + std::to_string(::getpid());
  static const bool quiet = [] {
    Orvo::Journal::SetGlobalJournalLevel(3);
    return true;
  }();
  (void)quiet;
  const std::vector<std::string> names{"j1", "j2"};
  std::vector<unsigned char> content(data, data + size);
  const Segment segment("/orvo2_" + channel, std::move(content));
  Orvo::ClientManager client({std::make_shared<FuzzDevice>(names[0]), std::make_shared<FuzzDevice>(names[1])},
                             "shm", channel);
  const bool attached = client.check_server_alive();
  if (attached && !holds(segment.content(), names)) {
    std::abort();  // accepted a segment that does not hold the devices' slots
  }
  for (int cycle = 0; cycle < 3; ++cycle) {
    client.recv();
    client.send();
  }
  if (size >= sizeof(Orvo::shm::ChannelHeader) + 8) {
    // Changed under the attached client, then back to its first content.
    const std::vector<unsigned char> changed = changed_content(segment.content());
    segment.rewrite(changed);
    client.recv();
    client.send();
    // A client still attached keeps the slots it paired with, which the
    // first content holds as long as the segment covers its mapping.
    const bool kept = attached && changed.size() >= segment.content().size();
    if (client.check_server_alive() && !holds(changed, names) && !kept) {
      std::abort();
    }
    client.recv();
    client.send();
    segment.rewrite(segment.content());
    client.check_server_alive();
  }
  if (size >= sizeof(Orvo::shm::ChannelHeader)) {
    // The server moves on: a new frame, then it closes the channel.
    const std::uint64_t frame = segment.header().rx_frame.load() + 1;
    segment.write_at(offsetof(Orvo::shm::ChannelHeader, rx_frame), frame);
    client.recv();
    segment.write_at(offsetof(Orvo::shm::ChannelHeader, state), std::uint32_t{Orvo::shm::Closed});
    client.recv();
    client.send();
  }
  return 0;
}
