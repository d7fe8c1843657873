#pragma once
// Where the journal's lines go: standard output, without ever making a
// worker thread wait for it. The process's main thread writes its lines
// itself, after the lines that other threads queued before them. Every other
// thread puts its lines into a bounded ring (1024 lines) that the journal's
// writer thread, not a real-time one, writes out every few milliseconds; a
// line that finds the ring full is dropped and counted, and the count is
// written as "N lines dropped" once the writer has caught up. Queued lines
// are written at the latest by `flush`, which the process's exit runs too.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>

#include "context/line_ring.h"

namespace Orvo {

class JournalOutput {
public:
  // Any thread; the process's one output, never destroyed.
  static JournalOutput& instance();

  // Set-up (a journal's construction); allocates once. Starts the writer
  // thread, and the flush at the process's exit, the first time.
  void start() noexcept;

  // Any thread; never throws. A worker thread's call never blocks and never
  // allocates; the main thread's writes the line before it returns (blocking).
  void write(const char* line, size_t size) noexcept;

  // Any thread but a real-time one: blocks until the lines queued before the
  // call are written (or a producer has left its line half written for 200 ms),
  // and until the writer thread serves the ring when it is readying it.
  void flush() noexcept;

private:
  JournalOutput();
  // True when the calling thread's lines go through the ring.
  bool queued_here() const noexcept;
  // Writes the ready lines claimed before `end`, then the count of dropped
  // lines if any; the caller holds `_consumer`. The number of lines written.
  size_t drain_until(uint64_t end) noexcept;
  void writer_loop() noexcept;

  LineRing _ring;
  std::atomic<uint64_t> _dropped{0};
  std::atomic<bool> _started{false};
  // Direct: no writer thread serves the ring (before it is started, when it
  // could not be, in a child made by fork), every thread writes its lines
  // itself, as it does while the writer readies the ring (Preparing).
  enum Mode : int { Direct, Preparing, Queued };
  std::atomic<int> _mode{Direct};
  // Held by whoever writes to standard output; never by a worker thread.
  std::mutex _consumer;
};

}  // namespace Orvo
