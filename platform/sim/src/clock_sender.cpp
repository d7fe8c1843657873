#include "orvo2/sim/clock_sender.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace Orvo {

SimClockSender::SimClockSender(const std::string& queue_name) {
  mq_attr attr{};
  attr.mq_maxmsg = 10;
  attr.mq_msgsize = sizeof(int64_t);
  queue_ = mq_open(queue_name.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK, 0600, &attr);
  if (queue_ == static_cast<mqd_t>(-1))
    throw std::runtime_error("cannot open clock queue '" + queue_name + "': " + std::strerror(errno));
  // Another user's queue, or one others may open, would let them decide the
  // robot's time: the launcher refuses it, and so does the simulator.
  struct stat status {};
  if (fstat(queue_, &status) != 0 || status.st_uid != geteuid() || (status.st_mode & 077) != 0) {
    mq_close(queue_);
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
    throw std::runtime_error("clock queue '" + queue_name + "' belongs to user " + std::to_string(status.st_uid) +
                             " with mode " + mode + ": only a queue of this user (" +
                             std::to_string(geteuid()) + ") with mode 0600 is used");
  }
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
