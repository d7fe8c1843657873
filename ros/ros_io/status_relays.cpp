#include "status_relays.h"

namespace Orvo {

orvo_msgs::LifecycleEvent to_lifecycle_message(const Runnable::LifecycleEvent& event) {
  orvo_msgs::LifecycleEvent out;
  out.plugin_name = event.plugin_name;
  out.from_state = Runnable::StateAsString(event.from);
  out.to_state = Runnable::StateAsString(event.to);
  return out;
}

orvo_msgs::JointDeviceInfo to_joint_device_info(const Hal::JointMasterInfo& info) {
  orvo_msgs::JointDeviceInfo out;
  out.mask = static_cast<uint8_t>(info.mask & 0xFFu);
  out.filter_active = info.tx_filter_enabled;
  out.filter_cutoff_hz = info.tx_filter_cutoff;
  return out;
}

}  // namespace Orvo
