// One journal line logged from a worker thread (any thread but the process's
// main thread), as a control cycle logs a refused command: formatted and
// queued for the journal's writer thread. Two cases:
//
// - BM_WorkerLine: standard output keeps up (a file; every 256 lines the
//   queue is flushed outside the timing, so that no line is dropped);
// - BM_WorkerLine_OutputStalled: standard output is a pipe that nobody reads,
//   the queue is full and every line is dropped and counted.
//
// The logging thread runs under SCHED_FIFO (priority 50) where the system
// allows it, as a control thread does (counter realtime = 1), so that the
// wall-clock time is not that of a thread the scheduler set aside. Counters:
// heap allocations per line in the logging thread (from the allocation-hook
// library), and lines dropped per line, from the "N lines dropped" notices
// written out.

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "alloc_counter.h"
#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"

namespace {

// Standard output goes to `fd` while in scope; whatever was queued before
// and during it is written out first.
class StdoutTo {
public:
  explicit StdoutTo(int fd) {
    std::cout.flush();
    std::fflush(stdout);
    Orvo::Journal::flush();
    _saved = ::dup(STDOUT_FILENO);
    ::dup2(fd, STDOUT_FILENO);
  }
  ~StdoutTo() {
    Orvo::Journal::flush();
    ::dup2(_saved, STDOUT_FILENO);
    ::close(_saved);
  }
  StdoutTo(const StdoutTo&) = delete;
  StdoutTo& operator=(const StdoutTo&) = delete;

private:
  int _saved = -1;
};

void log_line(Orvo::Journal& journal, int64_t n) {
  journal.jhigh().jwarn("while parsing command message: joint '{}' undefined (cycle {}, {:.3f} ms) \n",
                        "elbow_pitch_2", n, 1.25);
}

// The sum of the "N lines dropped" notices in `text`.
long dropped_in(const std::string& text) {
  long dropped = 0;
  const std::string notice = " lines dropped";
  for (size_t at = text.find(notice); at != std::string::npos; at = text.find(notice, at + 1)) {
    const size_t start = text.rfind(' ', at - 1) + 1;
    dropped += std::strtol(text.c_str() + start, nullptr, 10);
  }
  return dropped;
}

// Runs the timed loop in a thread of its own; `between` runs, untimed, every
// 256 lines.
template <typename Between>
size_t log_in_worker(benchmark::State& state, Between&& between) {
  size_t allocs = 0;
  bool realtime = false;
  std::thread worker([&] {
    const sched_param fifo{50};
    realtime = pthread_setschedparam(pthread_self(), SCHED_FIFO, &fifo) == 0;
    Orvo::Journal& journal = Orvo::Context().journal();
    log_line(journal, -1);  // the thread's first line
    Orvo::test::AllocCounter counter;
    int64_t n = 0;
    for (auto _ : state) {
      log_line(journal, n);
      if (++n % 256 == 0) {
        state.PauseTiming();
        between();
        state.ResumeTiming();
      }
    }
    allocs = counter.count();
  });
  worker.join();
  state.counters["realtime"] = realtime ? 1 : 0;
  return allocs;
}

void report(benchmark::State& state, size_t allocs, long dropped) {
  const double lines = static_cast<double>(state.iterations());
  state.counters["allocs_per_line"] = static_cast<double>(allocs) / lines;
  state.counters["dropped_per_line"] = static_cast<double>(dropped) / lines;
  state.SetItemsProcessed(state.iterations());
}

void BM_WorkerLine(benchmark::State& state) {
  FILE* file = std::tmpfile();
  size_t allocs = 0;
  {
    StdoutTo redirect(::fileno(file));
    allocs = log_in_worker(state, [] { Orvo::Journal::flush(); });
  }
  std::string written;
  std::rewind(file);
  char chunk[65536];
  for (size_t n; (n = std::fread(chunk, 1, sizeof(chunk), file)) > 0;) {
    written.append(chunk, n);
  }
  std::fclose(file);
  report(state, allocs, dropped_in(written));
}

void BM_WorkerLine_OutputStalled(benchmark::State& state) {
  int pipe_ends[2];
  if (::pipe(pipe_ends) != 0) {
    state.SkipWithError("no pipe");
    return;
  }
  ::fcntl(pipe_ends[1], F_SETPIPE_SZ, 4096);
  std::string written;
  std::thread reader;
  size_t allocs = 0;
  {
    StdoutTo redirect(pipe_ends[1]);
    ::close(pipe_ends[1]);
    {
      // Fills the pipe and the queue.
      std::thread filler([] {
        for (int i = 0; i < 4096; ++i) {
          log_line(Orvo::Context().journal(), i);
        }
      });
      filler.join();
    }
    allocs = log_in_worker(state, [] {});
    reader = std::thread([&] {
      char chunk[65536];
      for (ssize_t n; (n = ::read(pipe_ends[0], chunk, sizeof(chunk))) > 0;) {
        written.append(chunk, static_cast<size_t>(n));
      }
    });
  }
  reader.join();
  ::close(pipe_ends[0]);
  report(state, allocs, dropped_in(written));
}

BENCHMARK(BM_WorkerLine)->UseRealTime();
BENCHMARK(BM_WorkerLine_OutputStalled)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
