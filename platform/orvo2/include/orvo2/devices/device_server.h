#pragma once
// Which server the records of a device type come from. A driver container
// that exchanges its devices' records with another process (a simulator over
// the device channel) publishes on ServerTopicName(type) the generation of
// the server whose records its devices hold, whenever it changes: 0 while
// they hold none that is serving (the server is gone, or a new one has not
// delivered yet), then the new server's generation once its first records
// have been published on the devices' rx topics. Consumers of the devices
// tell one server's records from the next one's by it.

#include <cstdint>
#include <string>

namespace Orvo {
namespace Hal {

struct DeviceServer {
  std::uint64_t generation = 0;  // distinct for every server instance; 0: none
};

// Set-up; allocates. "/orvo_internal/hal/<type>/server".
inline std::string ServerTopicName(const std::string& type) {
  return "/orvo_internal/hal/" + type + "/server";
}

}  // namespace Hal
}  // namespace Orvo
