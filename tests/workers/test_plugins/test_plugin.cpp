// A control plug-in for the tests, shaped by its parameters:
//   "autostart" (bool, default true), "stoppable" (bool, default true),
//   "init_ok" (bool, default true): what on_initialize answers,
//   "throw_after" (int, default 0 = never): run() throws at that cycle.
// It counts its steps in "/<task>/runs" (int, published every run), and on
// closing says whether simulated time is on and how many hold its robot.

#include <stdexcept>
#include <variant>

#include "framework/topic.h"
#include "orvo2/clock/simulated_clock.h"
#include "orvo2/loading/control_plugin_library.h"

namespace {

template <typename T>
T param_or(const Orvo::ConfigValueMap& params, const char* name, T fallback) {
  const auto it = params.find(name);
  if (it == params.end()) {
    return fallback;
  }
  const T* value = std::get_if<T>(&it->second);
  return value == nullptr ? fallback : *value;
}

class TestPlugin : public Orvo::ControlPlugin {
public:
  explicit TestPlugin(const Args& args)
      : ControlPlugin(args),
        _init_ok(param_or(args.params, "init_ok", true)),
        _autostart(param_or(args.params, "autostart", true)),
        _stoppable(param_or(args.params, "stoppable", true)),
        _throw_after(param_or(args.params, "throw_after", 0)) {
    if (param_or(args.params, "throw_in_constructor", false)) {
      throw std::runtime_error("test plug-in refused to be built");
    }
  }

  bool on_initialize() override {
    _runs = advertise<int>("~runs", 0);
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
  }

  void on_close() override {
    jhigh().jinfo("{}: closed, simulated time {}, robot held {} times \n", getName(),
                  Orvo::chrono::simulated_clock::_use_sim_time.load() ? "on" : "off", robot().use_count());
  }

private:
  bool _init_ok;
  bool _autostart;
  bool _stoppable;
  int _throw_after;
  int _count = 0;
  std::shared_ptr<Orvo::Publisher<int>> _runs;
};

}  // namespace

ORVO2_CONTROL_PLUGIN(test_plugin, TestPlugin)
