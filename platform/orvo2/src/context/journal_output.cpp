#include "context/journal_output.h"

#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include <fmt/format.h>

namespace Orvo {
namespace {

constexpr size_t ring_lines = 1024;
constexpr int batch_lines = 64;
// The writer's pause after a pass that found nothing to write.
constexpr long writer_pause_ns = 2000000;
constexpr long flush_pause_ns = 100000;
constexpr long flush_patience_ns = 200000000;

void pause_ns(long ns) {
  timespec left{0, ns};
  while (nanosleep(&left, &left) == EINTR) {
  }
}

// Writes all of `iov` to standard output, waiting while a non-blocking one is
// full; gives up on any other error, as on a closed output.
void write_all(iovec* iov, int count) {
  while (count > 0) {
    const ssize_t n = ::writev(STDOUT_FILENO, iov, count);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n < 0 && errno == EAGAIN) {
      pause_ns(flush_pause_ns);
      continue;
    }
    if (n <= 0) {
      return;
    }
    size_t done = static_cast<size_t>(n);
    while (count > 0 && done >= iov->iov_len) {
      done -= iov->iov_len;
      ++iov;
      --count;
    }
    if (count > 0) {
      iov->iov_base = static_cast<char*>(iov->iov_base) + done;
      iov->iov_len -= done;
    }
  }
}

}  // namespace

JournalOutput& JournalOutput::instance() {
  // Never destroyed: threads still logging while the process exits find it intact.
  static JournalOutput* output = new JournalOutput;
  return *output;
}

JournalOutput::JournalOutput() : _ring(ring_lines) {}

void JournalOutput::start() noexcept {
  if (_started.exchange(true)) {
    return;
  }
  // The writer takes no signal meant for the process.
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  try {
    pthread_atfork(nullptr, nullptr, [] { JournalOutput::instance()._mode.store(Direct); });
    std::atexit([] { JournalOutput::instance().flush(); });
    _mode.store(Preparing);
    std::thread([this] { writer_loop(); }).detach();
  } catch (...) {
    _mode.store(Direct);  // no writer: every thread goes on writing its lines itself
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}

bool JournalOutput::queued_here() const noexcept {
  static thread_local const bool worker = ::gettid() != ::getpid();
  return worker;
}

void JournalOutput::write(const char* line, size_t size) noexcept {
  const int mode = _mode.load(std::memory_order_acquire);
  if (mode == Queued && queued_here()) {
    if (!_ring.push(line, size)) {
      _dropped.fetch_add(1, std::memory_order_relaxed);
    }
    return;
  }
  iovec own{const_cast<char*>(line), size};
  if (mode != Queued) {
    write_all(&own, 1);
    return;
  }
  const std::lock_guard<std::mutex> guard(_consumer);
  drain_until(_ring.claimed());
  write_all(&own, 1);
}

void JournalOutput::flush() noexcept {
  for (long waited = 0; _mode.load(std::memory_order_acquire) == Preparing && waited < flush_patience_ns;
       waited += flush_pause_ns) {
    pause_ns(flush_pause_ns);
  }
  if (_mode.load(std::memory_order_acquire) != Queued) {
    return;
  }
  const std::lock_guard<std::mutex> guard(_consumer);
  const uint64_t end = _ring.claimed();
  long waited = 0;
  do {
    if (drain_until(end) == 0 && _ring.popped() < end) {
      if (waited >= flush_patience_ns) {
        return;
      }
      pause_ns(flush_pause_ns);
      waited += flush_pause_ns;
    }
  } while (_ring.popped() < end);
}

size_t JournalOutput::drain_until(uint64_t end) noexcept {
  size_t written = 0;
  for (;;) {
    iovec lines[batch_lines];
    int count = 0;
    LineRing::Line line{};
    while (count < batch_lines && _ring.popped() + count < end && _ring.peek(count, line)) {
      lines[count++] = {const_cast<char*>(line.text), line.size};
    }
    if (count == 0) {
      break;
    }
    write_all(lines, count);
    _ring.pop(count);
    written += count;
  }
  if (const uint64_t dropped = _dropped.exchange(0, std::memory_order_relaxed)) {
    char text[64];
    const auto notice = fmt::format_to_n(text, sizeof(text), "[orvo2][warn] {} lines dropped \n", dropped);
    iovec iov{text, std::min(notice.size, sizeof(text))};
    write_all(&iov, 1);
  }
  return written;
}

void JournalOutput::writer_loop() noexcept {
  pthread_setname_np(pthread_self(), "orvo2_journal");
  const sched_param normal{};
  pthread_setschedparam(pthread_self(), SCHED_OTHER, &normal);
  _ring.prefault();
  int preparing = Preparing;
  _mode.compare_exchange_strong(preparing, Queued);  // not in a child made by fork meanwhile
  for (;;) {
    size_t written = 0;
    {
      const std::lock_guard<std::mutex> guard(_consumer);
      written = drain_until(_ring.claimed());
    }
    if (written == 0) {
      pause_ns(writer_pause_ns);
    }
  }
}

}  // namespace Orvo
