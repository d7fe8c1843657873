#include "service_reply.h"

namespace Orvo {

std::string reply_message(std::string text, bool answered) {
  if (!answered) {
    text += ", server did not respond within timeout";
  }
  return text;
}

}  // namespace Orvo
