// Loaned publish-and-deliver of a 44-byte record against a std::mutex +
// std::deque hand-over of the same record, in one thread (publish, then
// deliver) and across two threads (a window of at most 16 undelivered
// records in both cases). Counters give the heap allocations per message in
// the publishing and the receiving thread.
//
// A robot process always runs several threads, so an idle thread is started
// before the benchmarks: while a process has a single thread, glibc's mutex
// skips its atomic instructions and the one-thread deque figure would not
// be the one a real process sees. --one_thread_process leaves it out.
//
// BM_Loaned_ManyTopicsCold is a worker cycle's share of the topics: 200
// topics (queue length 20) published on one after the other, then drained
// one after the other, in one thread, with the caches cleared of them before
// each pass (1 MiB written, more than a core's second-level cache), as they
// are after the millisecond between two cycles. Time per pass (200 records).

#include "loaned_record.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "alloc_counter.h"
#include "framework/typed/topic.h"

namespace {

using Record = OrvoBench::Record44;
using OrvoBench::BM_Loaned_OneThread;
using OrvoBench::fill;
using OrvoBench::report;
using OrvoBench::unique_topic;
constexpr int window = OrvoBench::kWindow;

// The hand-over under comparison: a locked deque of records.
class LockedDeque {
public:
  void push(const Record& r) {
    std::lock_guard<std::mutex> guard(_mutex);
    _records.push_back(r);
  }
  template <typename F>
  int drain(F&& deliver) {
    int n = 0;
    for (;;) {
      Record r;
      {
        std::lock_guard<std::mutex> guard(_mutex);
        if (_records.empty()) {
          return n;
        }
        r = _records.front();
        _records.pop_front();
      }
      deliver(r);
      ++n;
    }
  }

private:
  std::mutex _mutex;
  std::deque<Record> _records;
};

void BM_MutexDeque_OneThread(benchmark::State& state) {
  float sink = 0;
  LockedDeque deque;
  int64_t n = 0;
  Orvo::test::AllocCounter allocs;
  for (auto _ : state) {
    Record r;
    fill(r, n++);
    deque.push(r);
    deque.drain([&](const Record& got) { sink += got.values[10]; });
  }
  const size_t count = allocs.count();
  benchmark::DoNotOptimize(sink);
  report(state, count, 0);
}

void BM_Loaned_ManyTopicsCold(benchmark::State& state) {
  constexpr int topics = 200;
  constexpr int queue_length = 20;
  float sink = 0;
  std::vector<std::shared_ptr<Orvo::Subscriber<Record>>> subs;
  std::vector<std::shared_ptr<Orvo::Publisher<Record>>> pubs;
  for (int i = 0; i < topics; ++i) {
    subs.push_back(Orvo::Context().topicManager().subscribe<Record>(
        unique_topic("cold"), [&](const Record& r) { sink += r.values[10]; }, nullptr, queue_length, "bench"));
    pubs.push_back(Orvo::Context().topicManager().advertise<Record>(subs.back()->getTopicName(), Record{}, "bench"));
  }
  std::vector<char> evict(1 << 20);
  int64_t n = 0;
  Orvo::test::AllocCounter allocs;
  for (auto _ : state) {
    std::memset(evict.data(), static_cast<int>(n), evict.size());
    benchmark::ClobberMemory();
    const auto start = std::chrono::steady_clock::now();
    for (auto& pub : pubs) {
      if (auto msg = pub->loanMessage()) {
        fill(msg->value(), n);
        pub->publishLoaned(std::move(msg));
      }
    }
    for (auto& sub : subs) {
      sub->run();
    }
    const auto end = std::chrono::steady_clock::now();
    state.SetIterationTime(std::chrono::duration<double>(end - start).count());
    ++n;
  }
  const size_t count = allocs.count();
  benchmark::DoNotOptimize(sink);
  report(state, count, 0);
}

// Runs `drain` in a second thread until every published record arrived;
// the benchmark thread publishes with `publish` (false: nothing was sent),
// keeping at most `window` records undelivered.
template <typename Publish, typename Drain>
void two_threads(benchmark::State& state, Publish&& publish, Drain&& drain) {
  std::atomic<int64_t> received{0};
  std::atomic<int64_t> target{-1};
  std::atomic<size_t> sub_allocs{0};
  std::thread receiver([&] {
    Orvo::test::AllocCounter allocs;
    while (target.load() < 0 || received.load() < target.load()) {
      received.fetch_add(drain());
    }
    sub_allocs = allocs.count();
  });
  int64_t sent = 0;
  size_t pub_allocs = 0;
  {
    Orvo::test::AllocCounter allocs;
    for (auto _ : state) {
      while (sent - received.load() >= window) {
      }
      if (publish(sent)) {
        ++sent;
      }
    }
    pub_allocs = allocs.count();
  }
  target = sent;
  receiver.join();
  report(state, pub_allocs, sub_allocs);
}

void BM_Loaned_TwoThreads(benchmark::State& state) {
  float sink = 0;
  auto sub = Orvo::Context().topicManager().subscribe<Record>(
      unique_topic("two"), [&](const Record& r) { sink += r.values[10]; }, nullptr, window, "bench");
  auto pub = Orvo::Context().topicManager().advertise<Record>(sub->getTopicName(), Record{}, "bench");
  int64_t refused = 0;
  two_threads(
      state,
      [&](int64_t n) {
        auto msg = pub->loanMessage();
        if (!msg) {
          ++refused;
          return false;
        }
        fill(msg->value(), n);
        return pub->publishLoaned(std::move(msg));
      },
      [&] { return sub->run(); });
  benchmark::DoNotOptimize(sink);
  state.counters["dropped"] = static_cast<double>(sub->dropped_count());
  state.counters["refused"] = static_cast<double>(refused);
}

void BM_MutexDeque_TwoThreads(benchmark::State& state) {
  float sink = 0;
  LockedDeque deque;
  two_threads(
      state,
      [&](int64_t n) {
        Record r;
        fill(r, n);
        deque.push(r);
        return true;
      },
      [&] { return deque.drain([&](const Record& got) { sink += got.values[10]; }); });
  benchmark::DoNotOptimize(sink);
}

BENCHMARK(BM_Loaned_OneThread);
BENCHMARK(BM_MutexDeque_OneThread);
BENCHMARK(BM_Loaned_ManyTopicsCold)->UseManualTime();
BENCHMARK(BM_Loaned_TwoThreads)->UseRealTime();
BENCHMARK(BM_MutexDeque_TwoThreads)->UseRealTime();

// Blocks on a condition variable until destroyed: makes the process
// multi-threaded without taking a core.
class IdleThread {
public:
  IdleThread()
      : _thread([this] {
          std::unique_lock<std::mutex> lock(_mutex);
          _cond.wait(lock, [this] { return _stop; });
        }) {}
  ~IdleThread() {
    {
      std::lock_guard<std::mutex> guard(_mutex);
      _stop = true;
    }
    _cond.notify_one();
    _thread.join();
  }
  IdleThread(const IdleThread&) = delete;
  IdleThread& operator=(const IdleThread&) = delete;

private:
  std::mutex _mutex;
  std::condition_variable _cond;
  bool _stop = false;
  std::thread _thread;
};

}  // namespace

int main(int argc, char** argv) {
  bool one_thread_process = false;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--one_thread_process") == 0) {
      one_thread_process = true;
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  std::unique_ptr<IdleThread> idle;
  if (!one_thread_process) {
    idle = std::make_unique<IdleThread>();
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
