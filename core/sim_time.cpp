#include "sim_time.h"

#include <pthread.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include <fmt/format.h>

#include "orvo2/context.h"
#include "orvo2/journal.h"
#include "orvo2/simulated_clock.h"

namespace Orvo {
namespace {

constexpr const char* clock_channel = "gz_to_orvo2_time";

std::chrono::nanoseconds decode(const uint8_t (&bytes)[8]) {
  int64_t count = 0;
  std::memcpy(&count, bytes, sizeof(count));
  return std::chrono::nanoseconds(count);
}

}  // namespace

SimTime::SimTime() : _running(true) {
  chrono::simulated_clock::enable_sim_time(true);
  Context().journal().jmid().vlog(Journal::Info, "opening socket 'gz_to_orvo2_time' .. \n");
  _receiver = Receiver::Open("mq", clock_channel);

  uint8_t message[8];
  bool timed_out = false;
  if (!_receiver->read_bytes(&Receiver::receive_wait, message, sizeof(message), timed_out)) {
    throw std::runtime_error("unable to receive clock from simulator");
  }
  Context().journal().jmid().vlog(Journal::Ok, "succesfully opened socket 'gz_to_orvo2_time' \n");
  chrono::simulated_clock::initialize(decode(message));
  _thread = std::make_unique<Orvo::thread>([this] { clock_loop(); });
}

void SimTime::clock_loop() {
  const int rc = pthread_setname_np(pthread_self(), "clock_thread");
  if (rc != 0) {
    throw std::runtime_error(fmt::format("failed to set name to thread: {}", std::strerror(rc)));
  }
  uint8_t message[8];
  while (_running.load()) {
    bool timed_out = false;
    if (_receiver->read_bytes(&Receiver::receive_slice, message, sizeof(message), timed_out)) {
      chrono::simulated_clock::set_time(decode(message));
    } else if (!timed_out) {
      break;  // the channel failed: the clock keeps its last time
    }
    // A wait that timed out is no failure: look at `_running` again.
  }
}

void SimTime::stop() {
  chrono::simulated_clock::enable_sim_time(false);
  _running.store(false);
  _thread->join();
}

}  // namespace Orvo
