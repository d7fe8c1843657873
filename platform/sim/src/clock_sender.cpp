#include "orvo2/sim/clock_sender.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>

namespace Orvo {

SimClockSender::SimClockSender(const std::string& queue_name) {
  mq_attr attr{};
  attr.mq_maxmsg = 10;
  attr.mq_msgsize = sizeof(int64_t);
  queue_ = mq_open(queue_name.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK, 0660, &attr);
  if (queue_ == static_cast<mqd_t>(-1))
    throw std::runtime_error("cannot open clock queue '" + queue_name + "': " + std::strerror(errno));
  mq_attr actual{};
  if (mq_getattr(queue_, &actual) == 0 && actual.mq_msgsize < static_cast<long>(sizeof(int64_t))) {
    mq_close(queue_);
    throw std::runtime_error("clock queue '" + queue_name + "' exists with messages of " +
                             std::to_string(actual.mq_msgsize) + " bytes, 8 are needed");
  }
}

SimClockSender::~SimClockSender() {
  mq_close(queue_);
}

bool SimClockSender::send(int64_t sim_time_ns) noexcept {
  char message[sizeof(int64_t)];
  std::memcpy(message, &sim_time_ns, sizeof message);
  if (mq_send(queue_, message, sizeof message, 0) == 0) return true;
  ++dropped_;
  return false;
}

}  // namespace Orvo
