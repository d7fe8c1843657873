#pragma once
// The main() of a benchmark program whose benchmarks share one set-up: the
// set-up before the first benchmark and the tear-down after the last. A
// set-up that throws is torn down and ends the program with status 1, the
// reason on standard error.
//
//   int main(int argc, char** argv) {
//     return OrvoBench::run_benchmarks(argc, argv, "ros_io_bench", set_up, tear_down);
//   }

#include <cstdio>
#include <exception>

#include <benchmark/benchmark.h>

namespace OrvoBench {

// `set_up(argc, argv)` gets what Google Benchmark leaves of the arguments.
template <typename SetUp, typename TearDown>
int run_benchmarks(int argc, char** argv, const char* program, SetUp set_up, TearDown tear_down) {
  benchmark::Initialize(&argc, argv);
  try {
    set_up(argc, argv);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s: set-up failed: %s\n", program, error.what());
    tear_down();
    return 1;
  }
  benchmark::RunSpecifiedBenchmarks();
  tear_down();
  benchmark::Shutdown();
  return 0;
}

}  // namespace OrvoBench
