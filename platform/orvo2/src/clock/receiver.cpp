#include "orvo2/clock/receiver.h"

#include <fcntl.h>
#include <mqueue.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include <fmt/format.h>

namespace Orvo {
namespace {

constexpr long mq_capacity = 10;
constexpr long mq_message_size = 8;

class MqReceiver final : public Receiver {
public:
  explicit MqReceiver(const std::string& name) : _name("/" + name) {
    mq_attr attr{};
    attr.mq_maxmsg = mq_capacity;
    attr.mq_msgsize = mq_message_size;
    _queue = mq_open(_name.c_str(), O_RDONLY | O_CREAT, 0600, &attr);
    if (_queue == static_cast<mqd_t>(-1)) {
      throw std::runtime_error(
          fmt::format("unable to open message queue '{}': {}", _name, std::strerror(errno)));
    }
    try {
      check_private();
    } catch (...) {
      mq_close(_queue);
      throw;
    }
    discard_pending();
  }
  ~MqReceiver() override { mq_close(_queue); }

  int receive_slice(uint8_t* buffer, int size, bool& timed_out) override {
    timespec deadline{};
    clock_gettime(CLOCK_REALTIME, &deadline);  // mq_timedreceive counts on the real-time clock
    deadline.tv_nsec += std::chrono::nanoseconds(wait_slice).count();
    deadline.tv_sec += deadline.tv_nsec / 1000000000L;
    deadline.tv_nsec %= 1000000000L;

    char message[mq_message_size];
    for (;;) {
      const ssize_t n = mq_timedreceive(_queue, message, sizeof(message), nullptr, &deadline);
      if (n >= 0) {
        const int copied = static_cast<int>(n) < size ? static_cast<int>(n) : size;
        std::memcpy(buffer, message, static_cast<size_t>(copied));
        return static_cast<int>(n);
      }
      if (errno == EINTR) {
        continue;
      }
      if (errno == ETIMEDOUT) {
        timed_out = true;
        return 0;
      }
      return -1;
    }
  }

  int receive_wait(uint8_t* buffer, int size, bool& timed_out) override {
    for (;;) {
      timed_out = false;  // each slice reports for itself
      const int n = receive_slice(buffer, size, timed_out);
      if (!timed_out) {
        return n;
      }
    }
  }

private:
  // Whoever may write to the queue decides this process's messages: only a
  // queue of this user that no one else may open is used.
  void check_private() const {
    struct stat status {};
    if (fstat(_queue, &status) != 0) {
      throw std::runtime_error(
          fmt::format("unable to check message queue '{}': {}", _name, std::strerror(errno)));
    }
    if (status.st_uid != geteuid()) {
      throw std::runtime_error(fmt::format(
          "message queue '{}' belongs to user {}, not to this user ({}): refused", _name, status.st_uid,
          geteuid()));
    }
    if ((status.st_mode & 077) != 0) {
      throw std::runtime_error(fmt::format(
          "message queue '{}' has mode {:04o}, open to other users: refused (remove it, it is made again with mode 0600)",
          _name, status.st_mode & 07777));
    }
    mq_attr attr{};
    if (mq_getattr(_queue, &attr) != 0 || attr.mq_msgsize != mq_message_size) {
      throw std::runtime_error(fmt::format(
          "message queue '{}' holds messages of {} bytes, {} expected: refused (remove it)", _name,
          attr.mq_msgsize, mq_message_size));
    }
  }

  // Messages queued before this receiver came were sent by a sender that may
  // have ended since: they are dropped, only what is sent from now on is read.
  void discard_pending() {
    const timespec past{};  // a deadline already over: no wait
    char message[mq_message_size];
    while (mq_timedreceive(_queue, message, sizeof(message), nullptr, &past) >= 0 || errno == EINTR) {
    }
  }

  std::string _name;
  mqd_t _queue;
};

}  // namespace

std::unique_ptr<Receiver> Receiver::Open(const std::string& kind, const std::string& name) {
  if (kind != "mq") {
    throw std::runtime_error(
        fmt::format("unknown receiver kind '{}' for channel '{}' (known: mq)", kind, name));
  }
  return std::make_unique<MqReceiver>(name);
}

}  // namespace Orvo
