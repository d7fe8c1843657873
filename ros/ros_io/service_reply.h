#pragma once
// The reply text shared by the bridge's ROS services that forward to a
// framework service.

#include <string>

namespace Orvo {

// Any thread; allocates. `text` (the success or failure text, already
// filled in), followed by ", server did not respond within timeout" when the
// framework call itself failed (service missing, no handler, or no answer
// within the time-out).
std::string reply_message(std::string text, bool answered);

}  // namespace Orvo
