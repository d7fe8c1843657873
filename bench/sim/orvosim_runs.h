#pragma once
// Whole runs of orvosim as a process, timed by a benchmark.

#include <spawn.h>
#include <sys/wait.h>

#include <string>
#include <vector>

#include <benchmark/benchmark.h>

extern char** environ;

// Runs `orvosim --fast --quiet --steps N model` once per iteration of `state`,
// N being the benchmark's first argument. False, with the state marked
// failed, when a run cannot start or does not end with status 0.
inline bool run_orvosim_fast(benchmark::State& state, const char* orvosim, const std::string& model) {
  std::vector<std::string> args{orvosim, "--fast", "--quiet", "--steps", std::to_string(state.range(0)), model};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto _ : state) {
    pid_t pid = -1;
    if (posix_spawn(&pid, orvosim, nullptr, nullptr, argv.data(), environ) != 0) {
      state.SkipWithError("cannot start orvosim");
      return false;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      state.SkipWithError("orvosim failed");
      return false;
    }
  }
  return true;
}
