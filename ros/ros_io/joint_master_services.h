#pragma once
// The bridge's ROS services that tune the joint master: enable_joint_filter,
// the three filter profiles and joint_master/set_control_mask. Each calls one
// of the joint master's framework services and answers with `success` (the
// joint master's verdict) and a message; the ROS call itself succeeds.
//
// All handlers run on the bridge's thread when it dispatches its ROS queue,
// block it until the joint master answers or the time-out passes, and
// allocate.

#include <chrono>
#include <cstdint>
#include <memory>

#include <orvo_msgs/SetControlMask.h>
#include <std_srvs/SetBool.h>
#include <std_srvs/Trigger.h>

#include "framework/typed/service_client.h"

namespace Orvo {

// enable_joint_filter: switches the command filter through
// "/joint_master/enable_tx_filter".
class FilterSwitchService {
public:
  using Client = ServiceClient<bool, bool>;
  // Set-up (the bridge's on_initialize); allocates.
  FilterSwitchService(std::shared_ptr<Client> client, std::chrono::nanoseconds timeout);
  // Bridge thread (ROS queue); allocates; may block up to the time-out.
  bool operator()(std_srvs::SetBool::Request& request, std_srvs::SetBool::Response& response) const;

private:
  std::shared_ptr<Client> _client;
  std::chrono::nanoseconds _timeout;
};

// set_filter_profile_{safe,medium,fast}: sets the filter cut-off (Hz) through
// "/joint_master/set_tx_filter_cutoff" (time-out 1 s).
class FilterProfileService {
public:
  using Client = ServiceClient<double, bool>;
  // Set-up (the bridge's on_initialize); allocates.
  FilterProfileService(std::shared_ptr<Client> client, double cutoff_hz);
  // Bridge thread (ROS queue); allocates; may block up to the time-out.
  bool operator()(std_srvs::Trigger::Request& request, std_srvs::Trigger::Response& response) const;

private:
  std::shared_ptr<Client> _client;
  double _cutoff_hz;
};

// joint_master/set_control_mask: sets the joint master's control mask through
// "/joint_master/set_mask" (time-out 1 s).
class MasterMaskService {
public:
  using Client = ServiceClient<uint32_t, bool>;
  // Set-up (the bridge's on_initialize); allocates.
  explicit MasterMaskService(std::shared_ptr<Client> client);
  // Bridge thread (ROS queue); allocates; may block up to the time-out.
  bool operator()(orvo_msgs::SetControlMask::Request& request,
                  orvo_msgs::SetControlMask::Response& response) const;

private:
  std::shared_ptr<Client> _client;
};

}  // namespace Orvo
