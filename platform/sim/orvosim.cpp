// orvosim: steps a simulated world described in an SDFormat file, with the
// model plug-ins its description names, and sends the simulated time on the
// clock channel every step.
//
//   orvosim [--steps N] [--step SECONDS] [--fast] [--quiet] FILE
//
// Real time by default (absolute sleeps on the monotonic clock), as fast as
// possible with --fast; N steps, or until SIGINT, SIGTERM, SIGHUP or SIGQUIT
// without --steps (each ends the run in order: the plug-ins remove their
// device channels).
// Exit status: 0 after an orderly stop, 1 on bad input or a failure.

#include <signal.h>
#include <time.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <string>

#include <gazebo/common/Console.hh>
#include <gazebo/physics/World.hh>

#include "orvo2/sim/clock_sender.h"
#include "orvo2/sim/plugin_host.h"
#include "orvo2/sim/world_loader.h"

namespace {

volatile std::sig_atomic_t stop_requested = 0;

void on_stop_signal(int) {
  stop_requested = 1;
}

struct Options {
  uint64_t steps = 0;  // 0: until stopped
  double step = 0;     // 0: the description's step
  bool fast = false;
  bool quiet = false;
  std::string file;
};

const char* const kUsage = "usage: orvosim [--steps N] [--step SECONDS] [--fast] [--quiet] FILE";

Options parse(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument("option " + arg + " needs a value");
      return argv[++i];
    };
    if (arg == "--steps") {
      const std::string text = value();
      char* end = nullptr;
      errno = 0;
      const long long n = std::strtoll(text.c_str(), &end, 10);
      if (errno || end == text.c_str() || *end || n <= 0)
        throw std::invalid_argument("--steps '" + text + "' is not a positive integer");
      options.steps = static_cast<uint64_t>(n);
    } else if (arg == "--step") {
      const std::string text = value();
      char* end = nullptr;
      const double s = std::strtod(text.c_str(), &end);
      if (end == text.c_str() || *end || !(s > 0) || s > 1)
        throw std::invalid_argument("--step '" + text + "' is not a step in seconds (0 < step <= 1)");
      options.step = s;
    } else if (arg == "--fast") {
      options.fast = true;
    } else if (arg == "--quiet") {
      options.quiet = true;
    } else if (arg == "--help" || arg == "-h") {
      std::cout << kUsage << "\n";
      std::exit(0);
    } else if (!arg.empty() && arg[0] == '-') {
      throw std::invalid_argument("unknown option '" + arg + "'");
    } else if (options.file.empty()) {
      options.file = arg;
    } else {
      throw std::invalid_argument("more than one file given ('" + options.file + "', '" + arg + "')");
    }
  }
  if (options.file.empty()) throw std::invalid_argument("no description file given");
  return options;
}

void add_ns(timespec& t, int64_t ns) {
  t.tv_nsec += ns % 1000000000;
  t.tv_sec += ns / 1000000000;
  if (t.tv_nsec >= 1000000000) {
    t.tv_nsec -= 1000000000;
    ++t.tv_sec;
  }
}

// Steps until done or stopped; in real time each step starts at its slot on the
// monotonic clock, and a run that falls behind by more than ten steps starts
// its schedule afresh instead of racing to catch up.
void run(gazebo::physics::World& world, Orvo::SimClockSender& clock, const Options& options) {
  const int64_t step_ns = std::llround(world.StepSize() * 1e9);
  timespec next{};
  clock_gettime(CLOCK_MONOTONIC, &next);
  for (uint64_t done = 0; !stop_requested && (options.steps == 0 || done < options.steps); ++done) {
    world.Step(1);
    clock.send(world.SimTimeNanoseconds());
    if (options.fast) continue;
    add_ns(next, step_ns);
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const int64_t behind = (now.tv_sec - next.tv_sec) * 1000000000LL + (now.tv_nsec - next.tv_nsec);
    if (behind > 10 * step_ns) {
      next = now;
      continue;
    }
    while (!stop_requested &&
           clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &next, nullptr) == EINTR) {
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  try {
    options = parse(argc, argv);
  } catch (const std::exception& e) {
    std::cerr << "orvosim: " << e.what() << "\n" << kUsage << "\n";
    return 1;
  }
  gazebo::common::Console::SetQuiet(options.quiet);

  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  for (const int stop_signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    sigaction(stop_signal, &action, nullptr);
  }

  try {
    gazebo::physics::WorldPtr world = Orvo::load_sim_world(options.file);
    if (options.step > 0) world->SetStepSize(options.step);
    Orvo::SimClockSender clock;
    {
      Orvo::SimPluginHost plugins;
      plugins.load_all(world);
      gzmsg << "orvosim: world '" << world->Name() << "' from '" << options.file << "', "
            << world->ModelCount() << " model(s), " << plugins.size() << " plug-in(s), step "
            << world->StepSize() << " s" << (options.fast ? ", fast" : ", real time") << std::endl;
      run(*world, clock, options);
      gzmsg << "orvosim: stopped after " << world->Iterations() << " steps, simulated time "
            << world->SimTime().Double() << " s" << std::endl;
    }
  } catch (const std::exception& e) {
    std::cerr << "orvosim: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
