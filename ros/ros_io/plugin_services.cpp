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
  return guard_ros_callback(_task + "/switch", [&] {
    const Runnable::Command command = request.data ? Runnable::Start : Runnable::Stop;
    const char* verb = request.data ? "start" : "halt";
    bool accepted = false;
    const bool answered = _client->call(command, accepted, _timeout);
    response.success = accepted;
    response.message = reply_message(accepted ? fmt::format("Successfully {}ed '{}'", verb, _task)
                                              : fmt::format("Unable to {} '{}'", verb, _task),
                                     answered);
    return true;
  });
}

PluginAbortService::PluginAbortService(std::shared_ptr<Client> client, std::string task,
                                       std::chrono::nanoseconds timeout)
    : _client(std::move(client)), _task(std::move(task)), _timeout(timeout) {}

bool PluginAbortService::operator()(std_srvs::Trigger::Request&,
                                    std_srvs::Trigger::Response& response) const {
  return guard_ros_callback(_task + "/abort", [&] {
    bool accepted = false;
    const bool answered = _client->call(Runnable::Abort, accepted, _timeout);
    response.success = accepted;
    response.message = reply_message(accepted ? fmt::format("Successfully aborted '{}'", _task)
                                              : fmt::format("Unable to  abort '{}'", _task),
                                     answered);
    return true;
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
  return guard_ros_callback(_task + "/set_control_mask", [&] {
    const uint32_t mask = request.mask;
    bool accepted = false;
    const bool answered = _client->call(mask, accepted, kMaskTimeout);
    response.success = accepted;
    response.message =
        reply_message(fmt::format("{} set control mask to {} for task '{}'",
                                  accepted ? "Succesfully" : "Unable to", mask, _task),
                      answered);
    return true;
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
