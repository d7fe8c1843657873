#include "shutdown_request.h"

#include <atomic>

#include <ros/init.h>
#include <ros/xmlrpc_manager.h>

namespace Orvo {
namespace {

// A peer's text is kept to this length in the journal line that tells it.
constexpr size_t kMaxTextLength = 200;

struct Request {
  std::atomic<bool> claimed{false};
  std::atomic<bool> recorded{false};
  std::string caller;
  std::string reason;
};

// Never destroyed: the XML-RPC thread may serve a request while the process ends.
Request& first_request() {
  static Request* request = new Request;
  return *request;
}

std::string text_param(XmlRpc::XmlRpcValue& params, int index) {
  if (params.getType() != XmlRpc::XmlRpcValue::TypeArray || params.size() <= index ||
      params[index].getType() != XmlRpc::XmlRpcValue::TypeString) {
    return std::string();
  }
  return static_cast<std::string&>(params[index]).substr(0, kMaxTextLength);
}

// The XML-RPC thread. The ROS API's shutdown(caller_id, msg): a request that
// carries both shuts the node down; the answer is always code 1.
void on_shutdown(XmlRpc::XmlRpcValue& params, XmlRpc::XmlRpcValue& result) {
  if (params.getType() == XmlRpc::XmlRpcValue::TypeArray && params.size() > 1) {
    Request& request = first_request();
    if (!request.claimed.exchange(true)) {
      request.caller = text_param(params, 0);
      request.reason = text_param(params, 1);
      request.recorded.store(true, std::memory_order_release);
    }
    ros::requestShutdown();
  }
  result = ros::xmlrpc::responseInt(1, "", 0);
}

}  // namespace

void watch_shutdown_requests() {
  const ros::XMLRPCManagerPtr& server = ros::XMLRPCManager::instance();
  server->unbind("shutdown");
  server->bind("shutdown", on_shutdown);
}

bool shutdown_request(std::string& caller, std::string& reason) {
  const Request& request = first_request();
  if (!request.recorded.load(std::memory_order_acquire)) {
    return false;
  }
  caller = request.caller;
  reason = request.reason;
  return true;
}

}  // namespace Orvo
