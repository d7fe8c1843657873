#include "sim_time.h"

#include <pthread.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include <fmt/format.h>

#include "orvo2/clock/simulated_clock.h"
#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"

namespace Orvo {
namespace {

constexpr const char* clock_channel = "gz_to_orvo2_time";

constexpr int message_size = 8;

std::chrono::nanoseconds decode(const uint8_t (&bytes)[message_size]) {
  int64_t count = 0;
  std::memcpy(&count, bytes, sizeof(count));
  return std::chrono::nanoseconds(count);
}

// True for a clock message of `received` bytes; one of another size is
// dropped with an error line, and the clock waits for the next.
bool is_clock_message(int received) {
  if (received == message_size) {
    return true;
  }
  Context().journal().jmid().vlog(
      Journal::Error, "dropped a message of {} bytes on 'gz_to_orvo2_time': a clock message has {} \n",
      received, message_size);
  return false;
}

}  // namespace

SimTime::SimTime() : _running(true) {
  chrono::simulated_clock::enable_sim_time(true);
  Context().journal().jmid().vlog(Journal::Info, "opening socket 'gz_to_orvo2_time' .. \n");
  _receiver = Receiver::Open("mq", clock_channel);

  uint8_t message[message_size];
  for (;;) {
    bool timed_out = false;
    const int received = _receiver->receive_wait(message, message_size, timed_out);
    if (received < 0) {
      throw std::runtime_error("unable to receive clock from simulator");
    }
    if (is_clock_message(received)) {
      break;
    }
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
  uint8_t message[message_size];
  while (_running.load()) {
    bool timed_out = false;
    const int received = _receiver->receive_slice(message, message_size, timed_out);
    if (timed_out) {
      continue;  // no failure: look at `_running` again
    }
    if (received < 0) {
      break;  // the channel failed: the clock keeps its last time
    }
    if (is_clock_message(received)) {
      chrono::simulated_clock::set_time(decode(message));
    }
  }
}

void SimTime::stop() {
  chrono::simulated_clock::enable_sim_time(false);
  _running.store(false);
  _thread->join();
}

}  // namespace Orvo
