#pragma once
// Sender side of the simulated-clock channel: a POSIX message queue of 8-byte
// messages, each one int64 count of nanoseconds of simulated time in host byte
// order. The queue is created if absent (mode 0600, 10 messages of 8 bytes;
// another user's queue, or one others may open, is refused) and opened
// non-blocking: when it is full the message is dropped, and the receiver
// reads the newest times it can.

#include <cstdint>
#include <string>

#include <mqueue.h>

namespace Orvo {

class SimClockSender {
public:
  // The queue the launcher's clock receiver reads.
  static constexpr const char* kQueueName = "/gz_to_orvo2_time";

  // Set-up thread; throws std::runtime_error naming the queue when it cannot be
  // opened or is refused.
  explicit SimClockSender(const std::string& queue_name = kQueueName);
  SimClockSender(const SimClockSender&) = delete;
  SimClockSender& operator=(const SimClockSender&) = delete;
  ~SimClockSender();

  // World thread; never blocks, never allocates. False when the message was
  // dropped (queue full or failing); dropped() counts them.
  bool send(int64_t sim_time_ns) noexcept;
  uint64_t dropped() const { return dropped_; }

private:
  mqd_t queue_;
  uint64_t dropped_ = 0;
};

}  // namespace Orvo
