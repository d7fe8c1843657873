// The device channel between two processes, both sides copying as fast as
// they can: every record carries a pattern derived from its frame number and
// a checksum, so that a record torn between two frames, or garbled, is seen.
// The server runs in a forked child for two seconds and until the client has
// taken enough frames (on a busy machine the two sides meet less often); the
// test process is the client.

#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "orvo2/channel/client_manager.h"
#include "orvo2/channel/server_manager.h"
#include "orvo2/devices/device_rt.h"

using namespace std::chrono_literals;

namespace {

// Record sizes of the devices: a tiny one, joint-sized, and large ones.
const int kSizes[] = {8, 48, 256, 1024};

// Word i of frame k's record; the last word is the xor of the others.
std::uint64_t pattern_word(std::uint64_t k, std::size_t i) { return (k + 1) * 0x9E3779B97F4A7C15ull ^ (i << 48); }

void write_pattern(std::vector<unsigned char>& record, std::uint64_t k) {
  const std::size_t words = record.size() / 8;
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i + 1 < words; ++i) {
    const std::uint64_t word = i == 0 ? k : pattern_word(k, i);
    std::memcpy(record.data() + 8 * i, &word, 8);
    sum ^= word;
  }
  std::memcpy(record.data() + 8 * (words - 1), words == 1 ? &k : &sum, 8);
}

// True when `record` is whole: every word belongs to the frame its first word
// names and the checksum holds. `k` gets that frame.
bool check_pattern(const std::vector<unsigned char>& record, std::uint64_t& k) {
  const std::size_t words = record.size() / 8;
  std::memcpy(&k, record.data(), 8);
  std::uint64_t sum = 0;
  for (std::size_t i = 0; i + 1 < words; ++i) {
    std::uint64_t word;
    std::memcpy(&word, record.data() + 8 * i, 8);
    if (word != (i == 0 ? k : pattern_word(k, i))) return false;
    sum ^= word;
  }
  std::uint64_t last;
  std::memcpy(&last, record.data() + 8 * (words - 1), 8);
  return last == (words == 1 ? k : sum);
}

class PatternDevice : public Orvo::Hal::DeviceRt {
public:
  PatternDevice(const std::string& name, int size)
      : DeviceRt(Orvo::Hal::DeviceInfo{name, "stress", 0}, size, size),
        rx(static_cast<std::size_t>(size)),
        tx(static_cast<std::size_t>(size)) {}
  bool sense() override { return true; }
  bool move() override { return true; }
  bool get_rx_raw(unsigned char* dst, int size) const override { return copy(dst, rx.data(), size); }
  bool set_rx_raw(unsigned char const* src, int size) override { return copy(rx.data(), src, size); }
  bool get_tx_raw(unsigned char* dst, int size) const override { return copy(dst, tx.data(), size); }
  bool set_tx_raw(unsigned char const* src, int size) override { return copy(tx.data(), src, size); }

  std::vector<unsigned char> rx;
  std::vector<unsigned char> tx;

private:
  bool copy(unsigned char* dst, const unsigned char* src, int size) const {
    std::memcpy(dst, src, static_cast<std::size_t>(size));
    return true;
  }
};

struct Side {
  Side() {
    for (int size : kSizes) {
      devices.push_back(std::make_shared<PatternDevice>("dev" + std::to_string(size), size));
      list.push_back(devices.back());
    }
  }
  std::vector<std::shared_ptr<PatternDevice>> devices;
  std::vector<std::shared_ptr<Orvo::Hal::DeviceRt>> list;
};

// Counts of one direction: records read whole, torn or garbled, and going
// back to an older frame.
struct Tally {
  std::uint64_t whole = 0;
  std::uint64_t broken = 0;
  std::uint64_t backwards = 0;
  std::vector<std::uint64_t> last = std::vector<std::uint64_t>(std::size(kSizes), 0);

  void check(const std::vector<std::shared_ptr<PatternDevice>>& devices, bool rx) {
    for (std::size_t d = 0; d < devices.size(); ++d) {
      std::uint64_t k = 0;
      if (!check_pattern(rx ? devices[d]->rx : devices[d]->tx, k)) {
        ++broken;
        continue;
      }
      ++whole;
      backwards += k < last[d] ? 1 : 0;
      last[d] = k;
    }
  }
};

// Frames the client must take whole before the server may end.
constexpr std::uint64_t kFrames = 1000;

// The child: serves for at least `duration` and until the client has taken
// kFrames frames (`taken`, shared with the client), at most `limit`, writing
// a new frame every round and checking every tx set it takes. Exit status 0
// when every tx record was whole and in order and some were taken, 1
// otherwise, 2 when it could not serve.
[[noreturn]] void serve(const std::string& channel, std::chrono::milliseconds duration, std::chrono::seconds limit,
                        const std::atomic<std::uint64_t>& taken) {
  int status = 2;
  try {
    Side side;
    Orvo::ServerManager server(side.list, "shm", channel);
    Tally tally;
    const auto start = std::chrono::steady_clock::now();
    const auto running = [&] {
      const auto now = std::chrono::steady_clock::now();
      return now < start + limit && (now < start + duration || taken.load(std::memory_order_relaxed) < kFrames);
    };
    for (std::uint64_t k = 1; running(); ++k) {
      for (auto& device : side.devices) write_pattern(device->rx, k);
      server.send(false);
      if (server.run()) tally.check(side.devices, false);
    }
    status = tally.broken == 0 && tally.backwards == 0 && tally.whole > 0 ? 0 : 1;
  } catch (...) {
  }
  ::_exit(status);
}

}  // namespace

TEST(ChannelStress, NoRecordIsTornOrGarbledInEitherDirection) {
  const std::string channel = "robust_stress_" + std::to_string(::getpid());
  void* shared = ::mmap(nullptr, sizeof(std::atomic<std::uint64_t>), PROT_READ | PROT_WRITE,
                        MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(shared, MAP_FAILED);
  auto* taken = new (shared) std::atomic<std::uint64_t>(0);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    serve(channel, 2s, 30s, *taken);
  }

  Side side;
  Orvo::ClientManager client(side.list, "shm", channel);
  Tally tally;
  std::uint64_t frames = 0;
  int status = 0;
  bool exited = false;
  const auto give_up = std::chrono::steady_clock::now() + 40s;
  for (std::uint64_t k = 1; !exited && std::chrono::steady_clock::now() < give_up; ++k) {
    if (!client.check_server_alive()) {
      std::this_thread::sleep_for(1ms);
    } else {
      if (client.recv()) {
        taken->store(++frames, std::memory_order_relaxed);
        tally.check(side.devices, true);
      }
      for (auto& device : side.devices) write_pattern(device->tx, k);
      client.send();
    }
    if (k % 64 == 0) exited = ::waitpid(child, &status, WNOHANG) == child;
  }
  if (!exited) {
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
  }
  ::munmap(shared, sizeof(std::atomic<std::uint64_t>));
  ASSERT_TRUE(exited) << "the server process did not end in time";
  std::printf("channel stress: %llu frames of %zu records received whole\n",
              static_cast<unsigned long long>(frames), std::size(kSizes));
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "server side: status " << status;
  EXPECT_GE(frames, kFrames);
  EXPECT_EQ(tally.broken, 0u);
  EXPECT_EQ(tally.backwards, 0u);
  EXPECT_EQ(tally.whole, frames * std::size(kSizes));
}
