#include "joint_master_services.h"

#include <fmt/format.h>

#include "ros_callback_guard.h"
#include "service_reply.h"

namespace Orvo {

namespace {
constexpr std::chrono::seconds kTuningTimeout{1};
}  // namespace

FilterSwitchService::FilterSwitchService(std::shared_ptr<Client> client,
                                         std::chrono::nanoseconds timeout)
    : _client(std::move(client)), _timeout(timeout) {}

bool FilterSwitchService::operator()(std_srvs::SetBool::Request& request,
                                     std_srvs::SetBool::Response& response) const {
  return guard_ros_callback("enable_joint_filter", [&] {
    const bool enable = request.data;
    bool accepted = false;
    const bool answered = _client->call(enable, accepted, _timeout);
    response.success = accepted;
    response.message = reply_message(
        accepted ? fmt::format("Successfully {} joint tx filter", enable ? "enabled" : "disabled")
                 : fmt::format("Could not {} joint tx filter", enable ? "enable" : "disable"),
        answered);
    return true;
  });
}

FilterProfileService::FilterProfileService(std::shared_ptr<Client> client, double cutoff_hz)
    : _client(std::move(client)), _cutoff_hz(cutoff_hz) {}

bool FilterProfileService::operator()(std_srvs::Trigger::Request&,
                                      std_srvs::Trigger::Response& response) const {
  return guard_ros_callback("set_filter_profile", [&] {
    bool accepted = false;
    const bool answered = _client->call(_cutoff_hz, accepted, kTuningTimeout);
    response.success = accepted;
    response.message = reply_message(fmt::format("{} set filter cutoff to {} Hz",
                                                 accepted ? "Succesfully" : "Unable to", _cutoff_hz),
                                     answered);
    return true;
  });
}

MasterMaskService::MasterMaskService(std::shared_ptr<Client> client) : _client(std::move(client)) {}

bool MasterMaskService::operator()(orvo_msgs::SetControlMask::Request& request,
                                   orvo_msgs::SetControlMask::Response& response) const {
  return guard_ros_callback("joint_master/set_control_mask", [&] {
    const uint32_t mask = request.mask;
    bool accepted = false;
    const bool answered = _client->call(mask, accepted, kTuningTimeout);
    response.success = accepted;
    response.message = reply_message(fmt::format("{} set control mask to {} for joint master",
                                                 accepted ? "Succesfully" : "Unable to", mask),
                                     answered);
    return true;
  });
}

}  // namespace Orvo
