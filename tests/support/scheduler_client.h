#pragma once
// The scheduler services of one task ("/orvo_internal/scheduler/<task>/..."),
// called from a test's thread.

#include <chrono>
#include <string>

#include "framework/typed/service.h"
#include "orvo2/context/context.h"
#include "orvo2/tasks/runnable.h"
#include "wait_until.h"

namespace OrvoTest {

class SchedulerClient {
public:
  // `patience`: how long reaches() waits for a state.
  explicit SchedulerClient(const std::string& task,
                           std::chrono::milliseconds patience = std::chrono::milliseconds(2000))
      : _command(Orvo::Context().serviceManager().serviceClient<Orvo::Runnable::Command, bool>(
            "/orvo_internal/scheduler/" + task + "/command")),
        _state(Orvo::Context().serviceManager().serviceClient<Orvo::service::Empty, std::string>(
            "/orvo_internal/scheduler/" + task + "/get_state")),
        _patience(patience) {}

  // The scheduler's verdict; false also when it did not answer within 1 s.
  bool command(Orvo::Runnable::Command command) {
    bool accepted = false;
    return _command->call(command, accepted, std::chrono::seconds(1)) && accepted;
  }
  std::string state() {
    std::string text = "no answer";
    _state->call({}, text, std::chrono::seconds(1));
    return text;
  }
  bool reaches(const std::string& state) {
    return wait_until([&] { return this->state() == state; }, _patience);
  }

private:
  Orvo::ServiceClient<Orvo::Runnable::Command, bool>::Ptr _command;
  Orvo::ServiceClient<Orvo::service::Empty, std::string>::Ptr _state;
  std::chrono::milliseconds _patience;
};

}  // namespace OrvoTest
