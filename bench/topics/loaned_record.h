#pragma once
// The 44-byte record of the topics benchmarks and its loaned publish and
// deliver in one thread, BM_Loaned_OneThread: topics_bench runs it beside a
// locked deque, comparison_bench beside roscpp's paths for the same bytes.
// Counters give the heap allocations per message in the publishing and the
// receiving thread.

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "alloc_counter.h"
#include "framework/typed/topic.h"

namespace OrvoBench {

struct Record44 {
  float values[11];
};
static_assert(sizeof(Record44) == 44, "a 44-byte record");

// At most this many records are undelivered (the subscriber's queue length).
constexpr int kWindow = 16;

inline void fill(Record44& r, int64_t n) {
  for (int i = 0; i < 11; ++i) {
    r.values[i] = static_cast<float>(n + i);
  }
}

inline void report(benchmark::State& state, size_t pub_allocs, size_t sub_allocs) {
  const double n = static_cast<double>(state.iterations());
  state.counters["pub_allocs_per_msg"] = static_cast<double>(pub_allocs) / n;
  state.counters["sub_allocs_per_msg"] = static_cast<double>(sub_allocs) / n;
  state.SetItemsProcessed(state.iterations());
}

inline std::string unique_topic(const char* base) {
  static int count = 0;
  return std::string("/bench/") + base + "_" + std::to_string(++count);
}

inline void BM_Loaned_OneThread(benchmark::State& state) {
  float sink = 0;
  auto sub = Orvo::Context().topicManager().subscribe<Record44>(
      unique_topic("one"), [&](const Record44& r) { sink += r.values[10]; }, nullptr, kWindow, "bench");
  auto pub = Orvo::Context().topicManager().advertise<Record44>(sub->getTopicName(), Record44{}, "bench");
  int64_t n = 0;
  Orvo::test::AllocCounter allocs;
  for (auto _ : state) {
    if (auto msg = pub->loanMessage()) {
      fill(msg->value(), n++);
      pub->publishLoaned(std::move(msg));
    }
    sub->run();
  }
  const size_t count = allocs.count();
  benchmark::DoNotOptimize(sink);
  report(state, count, 0);
}

}  // namespace OrvoBench
