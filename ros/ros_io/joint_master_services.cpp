#include "joint_master_services.h"

#include <fmt/format.h>

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
  const bool enable = request.data;
  return call_and_reply("enable_joint_filter", *_client, enable, _timeout, response, [&](bool accepted) {
    return accepted ? fmt::format("Successfully {} joint tx filter", enable ? "enabled" : "disabled")
                    : fmt::format("Could not {} joint tx filter", enable ? "enable" : "disable");
  });
}

FilterProfileService::FilterProfileService(std::shared_ptr<Client> client, double cutoff_hz)
    : _client(std::move(client)), _cutoff_hz(cutoff_hz) {}

bool FilterProfileService::operator()(std_srvs::Trigger::Request&,
                                      std_srvs::Trigger::Response& response) const {
  return call_and_reply("set_filter_profile", *_client, _cutoff_hz, kTuningTimeout, response,
                        [&](bool accepted) {
                          return fmt::format("{} set filter cutoff to {} Hz",
                                             accepted ? "Succesfully" : "Unable to", _cutoff_hz);
                        });
}

MasterMaskService::MasterMaskService(std::shared_ptr<Client> client) : _client(std::move(client)) {}

bool MasterMaskService::operator()(orvo_msgs::SetControlMask::Request& request,
                                   orvo_msgs::SetControlMask::Response& response) const {
  const uint32_t mask = request.mask;
  return call_and_reply("joint_master/set_control_mask", *_client, mask, kTuningTimeout, response,
                        [&](bool accepted) {
                          return fmt::format("{} set control mask to {} for joint master",
                                             accepted ? "Succesfully" : "Unable to", mask);
                        });
}

}  // namespace Orvo
