#pragma once
// The call-and-reply shared by the bridge's ROS services that forward to a
// framework service answering accepted or refused.

#include <chrono>
#include <string>

#include "framework/typed/service_client.h"
#include "ros_callback_guard.h"

namespace Orvo {

// Any thread; allocates. `text` (the success or failure text, already
// filled in), followed by ", server did not respond within timeout" when the
// framework call itself failed (service missing, no handler, or no answer
// within the time-out).
std::string reply_message(std::string text, bool answered);

// Bridge thread (ROS queue); allocates; may block up to `timeout`. Calls
// `client` with `request`, sets `response.success` to the framework
// service's verdict and `response.message` to reply_message(text(verdict),
// answered). Gives true (the ROS call succeeds); an exception is logged
// under `callback` and gives false.
template <typename Request, typename Response, typename Text>
bool call_and_reply(const std::string& callback, ServiceClient<Request, bool>& client,
                    const Request& request, std::chrono::nanoseconds timeout, Response& response,
                    Text&& text) noexcept {
  return guard_ros_callback(callback, [&] {
    bool accepted = false;
    const bool answered = client.call(request, accepted, timeout);
    response.success = accepted;
    response.message = reply_message(text(accepted), answered);
    return true;
  });
}

}  // namespace Orvo
