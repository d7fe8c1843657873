// A control plug-in for the latency benchmark. With the string parameter
// "~target" set, every run calls "/orvo_internal/scheduler/<target>/get_state"
// (served by the worker thread that runs the task <target>) and publishes the
// time from the call to its answer, in ns (-1: no answer within 5 ms), on
// "/<task>/latency_ns". Without it, the plug-in only runs (a task to serve).

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "framework/typed/parameter.h"
#include "framework/typed/service.h"
#include "framework/typed/topic.h"
#include "orvo2/loading/control_plugin_library.h"

namespace {

class ServiceCaller : public Orvo::ControlPlugin {
public:
  using ControlPlugin::ControlPlugin;

  bool on_initialize() override {
    const std::string target = getParamOr<std::string>("~target", "");
    if (!target.empty()) {
      _client = serviceClient<Orvo::service::Empty, std::string>("/orvo_internal/scheduler/" + target + "/get_state");
      _latency = advertise<int64_t>("~latency_ns", 0);
    }
    setAutostart(true);
    return true;
  }

  void run() override {
    if (!_client) {
      return;
    }
    const auto start = std::chrono::steady_clock::now();
    const bool answered = _client->call(Orvo::service::Empty{}, _state, std::chrono::milliseconds(5));
    const auto took = std::chrono::steady_clock::now() - start;
    if (auto msg = _latency->loanMessage()) {
      msg->value() = answered ? std::chrono::duration_cast<std::chrono::nanoseconds>(took).count() : -1;
      _latency->publishLoaned(std::move(msg));
    }
  }

private:
  std::shared_ptr<Orvo::ServiceClient<Orvo::service::Empty, std::string>> _client;
  std::shared_ptr<Orvo::Publisher<int64_t>> _latency;
  std::string _state = std::string(32, ' ');
};

}  // namespace

ORVO2_CONTROL_PLUGIN(bench_service_caller, ServiceCaller)
