// A control plug-in for the tests, shaped by its parameters:
//   "autostart" (bool, default true), "stoppable" (bool, default true),
//   "init_ok" (bool, default true): what on_initialize answers,
//   "throw_after" (int, default 0 = never): run() throws at that cycle,
//   "set_mask_timeout_ms" (int, default 0 = never): run() calls the joint
//       master's "/joint_master/set_mask" (all fields) with that time-out and
//       publishes in "/<task>/set_mask_us" how long the call took (in us, -1
//       when it failed), and on closing how many calls failed and the longest.
// It counts its steps in "/<task>/runs" (int, published every run), and on
// closing says whether simulated time is on and how many hold its robot.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <stdexcept>

#include "framework/typed/service.h"
#include "framework/typed/topic.h"
#include "orvo2/clock/simulated_clock.h"
#include "orvo2/loading/control_plugin_library.h"
#include "param_or.h"

namespace {

using OrvoTest::param_or;

class TestPlugin : public Orvo::ControlPlugin {
public:
  explicit TestPlugin(const Args& args)
      : ControlPlugin(args),
        _init_ok(param_or(args.params, "init_ok", true)),
        _autostart(param_or(args.params, "autostart", true)),
        _stoppable(param_or(args.params, "stoppable", true)),
        _throw_after(param_or(args.params, "throw_after", 0)),
        _set_mask_timeout(std::chrono::milliseconds(param_or(args.params, "set_mask_timeout_ms", 0))) {
    if (param_or(args.params, "throw_in_constructor", false)) {
      throw std::runtime_error("test plug-in refused to be built");
    }
  }

  bool on_initialize() override {
    _runs = advertise<int>("~runs", 0);
    if (_set_mask_timeout.count() > 0) {
      _set_mask = serviceClient<unsigned, bool>("/joint_master/set_mask");
      _set_mask_us = advertise<int>("~set_mask_us", 0);
    }
    setAutostart(_autostart);
    setStoppable(_stoppable);
    return _init_ok;
  }

  void run() override {
    ++_count;
    if (_throw_after > 0 && _count >= _throw_after) {
      throw std::runtime_error("test plug-in failed on purpose");
    }
    if (auto message = _runs->loanMessage()) {
      message->value() = _count;
      _runs->publishLoaned(std::move(message));
    }
    if (_set_mask) {
      call_set_mask();
    }
  }

  void on_close() override {
    jhigh().jinfo("{}: closed, simulated time {}, robot held {} times \n", getName(),
                  Orvo::chrono::simulated_clock::_use_sim_time.load() ? "on" : "off", robot().use_count());
    if (_set_mask) {
      jhigh().jinfo("{}: set_mask called {} times, {} failed, the longest call took {} us \n", getName(),
                    _set_mask_calls, _set_mask_failed, _set_mask_longest);
    }
  }

private:
  void call_set_mask() {
    const auto start = std::chrono::steady_clock::now();
    bool accepted = false;
    const bool answered = _set_mask->call(0xFFFFFFFFu, accepted, _set_mask_timeout);
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start);
    const int us = answered && accepted ? static_cast<int>(took.count()) : -1;
    ++_set_mask_calls;
    _set_mask_failed += us < 0 ? 1 : 0;
    _set_mask_longest = std::max(_set_mask_longest, took.count());
    if (auto message = _set_mask_us->loanMessage()) {
      message->value() = us;
      _set_mask_us->publishLoaned(std::move(message));
    }
  }

  bool _init_ok;
  bool _autostart;
  bool _stoppable;
  int _throw_after;
  std::chrono::milliseconds _set_mask_timeout;
  int _count = 0;
  std::shared_ptr<Orvo::Publisher<int>> _runs;
  std::shared_ptr<Orvo::ServiceClient<unsigned, bool>> _set_mask;
  std::shared_ptr<Orvo::Publisher<int>> _set_mask_us;
  int _set_mask_calls = 0;
  int _set_mask_failed = 0;
  int64_t _set_mask_longest = 0;
};

}  // namespace

ORVO2_CONTROL_PLUGIN(test_plugin, TestPlugin)
