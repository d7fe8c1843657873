#pragma once
// Who asked this process's ROS node to shut down. Any ROS peer may send the
// node's XML-RPC server the request "shutdown" (the ROS master does when
// another node registers under the same name); the ROS library then ends
// every topic and service of the process for good. The request is served
// here as the library serves it, and its caller and reason are kept.

#include <string>

namespace Orvo {

// Set-up, once a node handle exists (the node's XML-RPC server runs);
// allocates. Serves "shutdown" in place of the ROS library's own handler.
void watch_shutdown_requests();

// Any thread; never blocks. The caller and reason of the first shutdown
// request; false when none came.
bool shutdown_request(std::string& caller, std::string& reason);

}  // namespace Orvo
