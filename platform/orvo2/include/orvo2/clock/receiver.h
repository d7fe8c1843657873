#pragma once
// Receiving end of a message channel between processes. Kind "mq": a POSIX
// message queue "/<name>" of messages of at most 8 bytes, created with mode
// 0600 by whichever side opens it first; a queue of another user, or one that
// group or others may open, is refused. Opening drops the messages already
// queued: a receiver reads only what is sent while it is open. Every wait is
// bounded, so that a reader that is asked to stop returns within one wait slice.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace Orvo {

class Receiver {
public:
  // Set-up only. Throws std::runtime_error naming the kind or the channel.
  static std::unique_ptr<Receiver> Open(const std::string& kind, const std::string& name);
  virtual ~Receiver() = default;

  // Waits at most one slice for a message; returns its size (at most `size`
  // bytes of it are copied), 0 with `timed_out` set when none came, or -1 on
  // an error.
  virtual int receive_slice(uint8_t* buffer, int size, bool& timed_out) = 0;
  // Waits until a message arrives (in slices); -1 on an error.
  virtual int receive_wait(uint8_t* buffer, int size, bool& timed_out) = 0;

  static constexpr std::chrono::milliseconds wait_slice{100};
};

}  // namespace Orvo
