// Read side of the multi-reader lock against std::shared_mutex: lock shared,
// read a value, unlock, with no writer about. Each pair runs side by side at
// 1, 2, 4 and 8 threads sharing one lock.
#include <shared_mutex>
#include <string>

#include <benchmark/benchmark.h>

#include "framework/primitives/multireader_mutex.h"

namespace {

template <typename Lock>
struct Shared {
  static Lock lock;
  static long value;
};
template <typename Lock>
Lock Shared<Lock>::lock;
template <typename Lock>
long Shared<Lock>::value = 42;

template <typename Lock>
void shared_read(benchmark::State& state) {
  Lock& lock = Shared<Lock>::lock;
  for (auto _ : state) {
    lock.lock_shared();
    benchmark::DoNotOptimize(Shared<Lock>::value);
    lock.unlock_shared();
  }
  state.SetItemsProcessed(state.iterations());
}

}  // namespace

int main(int argc, char** argv) {
  for (int threads : {1, 2, 4, 8}) {
    benchmark::RegisterBenchmark("Orvo::multireader_mutex/shared", shared_read<Orvo::multireader_mutex>)
        ->Threads(threads)
        ->UseRealTime();
    benchmark::RegisterBenchmark("std::shared_mutex/shared", shared_read<std::shared_mutex>)
        ->Threads(threads)
        ->UseRealTime();
  }
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
