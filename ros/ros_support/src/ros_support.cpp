#include "ros_support/ros_support.h"

#include "framework/typed/parameter.h"
#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"

namespace Orvo {

RosSupport::RosSupport(ros::NodeHandle handle)
    : Task("ros_support", "", {}, true), nh(std::move(handle)) {
  setNamespace("ros_support");
  // Relative names: both resolve under "/ros_support", where the bridge puts them.
  if (!getParam("topic_callback_queue_ros", ros_queue)) {
    Context().journal().jmid().vlog(Journal::Warning,
                                    "could not retrieve ROS callback queue, ros support will not be available \n");
    return;
  }
  if (!getParam("topic_callback_queue_orvo2", orvo_queue)) {
    Context().journal().jmid().vlog(Journal::Warning,
                                    "could not retrieve Orvo2 callback queue, ros support will not be available \n");
    return;
  }
  nh.setCallbackQueue(ros_queue.get());
}

// Members go in reverse order of declaration: service servers, owned objects,
// subscribers, then the queue shares and the node handle.
RosSupport::~RosSupport() = default;

void RosSupport::report_invalid(const char* kind, const std::string& what) const {
  Context().journal().jmid().vlog(Journal::Warning,
                                  "ros support is not available: {} '{}' is not registered \n", kind, what);
}

void RosSupport::report_topic_refused(const std::string& topic) const {
  Context().journal().jmid().vlog(Journal::Warning,
                                  "ros support: framework topic '{}' refused the subscription (another type?) \n",
                                  resolveName(topic));
}

void RosSupport::report_callback_failure(const std::string& what, const char* reason) noexcept {
  Context().journal().jhigh().vlog(Journal::Error, "ros support: callback of '{}' threw: {} \n", what, reason);
}

}  // namespace Orvo
