// A control plug-in for the robustness tests
// (liborvoctrl_robust_service_probe.so) that keeps a framework service busy.
// Parameters:
//   "serve" (bool, default false): advertise "~slow" (int -> int), whose
//       handler sleeps "handler_ms" (int, default 0) and answers the request
//       plus one; with "drain" (bool, default true) false its server is put on
//       no callback queue, so that nothing ever answers a call;
//   "call" (string, default none): call that service from run(), every cycle,
//       with a time-out of "timeout_ms" (int, default 1000);
//   "release_ms" (int, default 0): how long its destructor takes.
// Output, one line each (flushed): "service_probe: handling" when the handler
// first runs, "service_probe: call pending" before the first call and
// "service_probe: call returned <0|1>" after it, "service_probe: released"
// at the end of its destructor.

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "framework/typed/service.h"
#include "orvo2/loading/control_plugin_library.h"
#include "param_or.h"

namespace {

using OrvoTest::param_or;

void say(const char* text) {
  std::printf("service_probe: %s\n", text);
  std::fflush(stdout);
}

class ServiceProbe : public Orvo::ControlPlugin {
public:
  explicit ServiceProbe(const Args& args)
      : ControlPlugin(args),
        _serve(param_or(args.params, "serve", false)),
        _drain(param_or(args.params, "drain", true)),
        _handler_time(param_or(args.params, "handler_ms", 0)),
        _call(param_or(args.params, "call", std::string())),
        _timeout(std::chrono::milliseconds(param_or(args.params, "timeout_ms", 1000))),
        _release_time(param_or(args.params, "release_ms", 0)) {}

  ~ServiceProbe() override {
    std::this_thread::sleep_for(_release_time);
    say("released");
  }

  bool on_initialize() override {
    if (_serve) {
      _server = advertiseService<int, int>("~slow", &ServiceProbe::handle, this, _drain ? getTaskQueue() : nullptr);
    }
    if (!_call.empty()) {
      _client = serviceClient<int, int>(_call);
    }
    setAutostart(true);
    return true;
  }

  void run() override {
    if (!_client) return;
    if (_calls == 0) say("call pending");
    int response = 0;
    const bool answered = _client->call(_calls, response, _timeout);
    if (_calls++ == 0) say(answered ? "call returned 1" : "call returned 0");
  }

private:
  bool handle(const int& request, int& response) {
    if (!_handled) {
      _handled = true;
      say("handling");
    }
    std::this_thread::sleep_for(_handler_time);
    response = request + 1;
    return true;
  }

  bool _serve;
  bool _drain;
  std::chrono::milliseconds _handler_time;
  std::string _call;
  std::chrono::nanoseconds _timeout;
  std::chrono::milliseconds _release_time;
  std::shared_ptr<Orvo::ServiceServer<int, int>> _server;
  std::shared_ptr<Orvo::ServiceClient<int, int>> _client;
  bool _handled = false;
  int _calls = 0;
};

}  // namespace

ORVO2_CONTROL_PLUGIN(robust_service_probe, ServiceProbe)
