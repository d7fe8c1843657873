#pragma once
// The simulator's end of the clock queue "gz_to_orvo2_time": a test sends
// 8-byte nanosecond counts on it. The queue is made afresh (no stale counts
// from an earlier run) and removed at the end.

#include <fcntl.h>
#include <mqueue.h>

#include <cstdint>
#include <string>

namespace OrvoTest {

class ClockSender {
public:
  ClockSender() {
    mq_unlink("/gz_to_orvo2_time");
    mq_attr attr{};
    attr.mq_maxmsg = 10;
    attr.mq_msgsize = 8;
    _queue = mq_open("/gz_to_orvo2_time", O_WRONLY | O_CREAT | O_NONBLOCK, 0600, &attr);
  }
  ~ClockSender() {
    mq_close(_queue);
    mq_unlink("/gz_to_orvo2_time");
  }
  ClockSender(const ClockSender&) = delete;
  ClockSender& operator=(const ClockSender&) = delete;

  bool ok() const { return _queue != static_cast<mqd_t>(-1); }
  void send(int64_t ns) { mq_send(_queue, reinterpret_cast<const char*>(&ns), sizeof(ns), 0); }
  void send_bytes(const std::string& bytes) { mq_send(_queue, bytes.data(), bytes.size(), 0); }
  // Counts sent and not yet taken by a receiver.
  long queued() const {
    mq_attr attr{};
    return mq_getattr(_queue, &attr) == 0 ? attr.mq_curmsgs : -1;
  }

private:
  mqd_t _queue;
};

}  // namespace OrvoTest
