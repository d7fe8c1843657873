#include "plugin_services.h"

#include <fmt/format.h>

#include "ros_callback_guard.h"
#include "service_reply.h"

namespace Orvo {

namespace {
constexpr std::chrono::seconds kMaskTimeout{1};
}  // namespace

PluginSwitchService::PluginSwitchService(std::shared_ptr<Client> client, std::string task,
                                         std::chrono::nanoseconds timeout)
    : _client(std::move(client)), _task(std::move(task)), _timeout(timeout) {}

bool PluginSwitchService::operator()(std_srvs::SetBool::Request& request,
                                     std_srvs::SetBool::Response& response) const {
  const Runnable::Command command = request.data ? Runnable::Start : Runnable::Stop;
  const char* verb = request.data ? "start" : "halt";
  return call_and_reply(_task + "/switch", *_client, command, _timeout, response, [&](bool accepted) {
    return accepted ? fmt::format("Successfully {}ed '{}'", verb, _task)
                    : fmt::format("Unable to {} '{}'", verb, _task);
  });
}

PluginAbortService::PluginAbortService(std::shared_ptr<Client> client, std::string task,
                                       std::chrono::nanoseconds timeout)
    : _client(std::move(client)), _task(std::move(task)), _timeout(timeout) {}

bool PluginAbortService::operator()(std_srvs::Trigger::Request&,
                                    std_srvs::Trigger::Response& response) const {
  const Runnable::Command command = Runnable::Abort;
  return call_and_reply(_task + "/abort", *_client, command, _timeout, response, [&](bool accepted) {
    return accepted ? fmt::format("Successfully aborted '{}'", _task)
                    : fmt::format("Unable to  abort '{}'", _task);
  });
}

OwnAbortRefusal::OwnAbortRefusal(std::string task) : _task(std::move(task)) {}

bool OwnAbortRefusal::operator()(std_srvs::Trigger::Request&, std_srvs::Trigger::Response& response) const {
  return guard_ros_callback(_task + "/abort", [&] {
    response.success = false;
    response.message = fmt::format("Unable to  abort '{}'", _task);
    return true;
  });
}

PluginStateService::PluginStateService(std::shared_ptr<Client> client, std::string task,
                                       std::chrono::nanoseconds timeout)
    : _client(std::move(client)), _task(std::move(task)), _timeout(timeout) {}

bool PluginStateService::operator()(orvo_msgs::PluginStatus::Request&,
                                    orvo_msgs::PluginStatus::Response& response) const {
  return guard_ros_callback(_task + "/state", [&] {
    std::string state = "InvalidState";
    const bool answered = _client->call(service::Empty{}, state, _timeout);
    response.state = state;
    return answered;
  });
}

PluginMaskService::PluginMaskService(std::shared_ptr<Client> client, std::string task)
    : _client(std::move(client)), _task(std::move(task)) {}

bool PluginMaskService::operator()(orvo_msgs::SetControlMask::Request& request,
                                   orvo_msgs::SetControlMask::Response& response) const {
  const uint32_t mask = request.mask;
  return call_and_reply(_task + "/set_control_mask", *_client, mask, kMaskTimeout, response,
                        [&](bool accepted) {
                          return fmt::format("{} set control mask to {} for task '{}'",
                                             accepted ? "Succesfully" : "Unable to", mask, _task);
                        });
}

PluginListService::PluginListService(std::vector<std::string> tasks) : _tasks(std::move(tasks)) {}

bool PluginListService::operator()(orvo_msgs::GetPluginList::Request&,
                                   orvo_msgs::GetPluginList::Response& response) const {
  return guard_ros_callback("get_plugin_list", [&] {
    response.plugins = _tasks;
    return true;
  });
}

}  // namespace Orvo
