#pragma once
// The bridge's ROS services that act on the framework's plug-ins (tasks):
// {task}/switch, {task}/abort, {task}/state, {task}/set_control_mask and
// get_plugin_list. Each forwards to a framework service and turns the outcome
// into a ROS reply; the ROS call itself succeeds unless said otherwise.
//
// All handlers run on the bridge's thread when it dispatches its ROS queue;
// those that call a framework service block it until the answer or the
// time-out, and allocate.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <orvo_msgs/GetPluginList.h>
#include <orvo_msgs/PluginStatus.h>
#include <orvo_msgs/SetControlMask.h>
#include <std_srvs/SetBool.h>
#include <std_srvs/Trigger.h>

#include "framework/typed/service_client.h"
#include "framework/typed/service_empty.h"
#include "orvo2/tasks/runnable.h"

namespace Orvo {

// {task}/switch: data true starts the task, false stops it, through
// "scheduler/<task>/command".
class PluginSwitchService {
public:
  using Client = ServiceClient<Runnable::Command, bool>;
  // Set-up (the bridge's on_initialize); allocates.
  PluginSwitchService(std::shared_ptr<Client> client, std::string task,
                      std::chrono::nanoseconds timeout);
  // Bridge thread (ROS queue); allocates; may block up to the time-out.
  bool operator()(std_srvs::SetBool::Request& request, std_srvs::SetBool::Response& response) const;

private:
  std::shared_ptr<Client> _client;
  std::string _task;
  std::chrono::nanoseconds _timeout;
};

// {task}/abort: aborts the task through "scheduler/<task>/command".
class PluginAbortService {
public:
  using Client = ServiceClient<Runnable::Command, bool>;
  // Set-up (the bridge's on_initialize); allocates.
  PluginAbortService(std::shared_ptr<Client> client, std::string task,
                     std::chrono::nanoseconds timeout);
  // Bridge thread (ROS queue); allocates; may block up to the time-out.
  bool operator()(std_srvs::Trigger::Request& request, std_srvs::Trigger::Response& response) const;

private:
  std::shared_ptr<Client> _client;
  std::string _task;
  std::chrono::nanoseconds _timeout;
};

// {task}/abort of the bridge's own task: refused as its stop is, without
// asking the scheduler. An aborted bridge would answer no ROS call again and
// leave every caller waiting.
class OwnAbortRefusal {
public:
  // Set-up (the bridge's on_initialize); allocates.
  explicit OwnAbortRefusal(std::string task);
  // Bridge thread (ROS queue); allocates, never blocks.
  bool operator()(std_srvs::Trigger::Request& request, std_srvs::Trigger::Response& response) const;

private:
  std::string _task;
};

// {task}/state: the task's state text from "scheduler/<task>/get_state"; the
// ROS call fails when no answer came.
class PluginStateService {
public:
  using Client = ServiceClient<service::Empty, std::string>;
  // Set-up (the bridge's on_initialize); allocates.
  PluginStateService(std::shared_ptr<Client> client, std::string task,
                     std::chrono::nanoseconds timeout);
  // Bridge thread (ROS queue); allocates; may block up to the time-out.
  bool operator()(orvo_msgs::PluginStatus::Request& request,
                  orvo_msgs::PluginStatus::Response& response) const;

private:
  std::shared_ptr<Client> _client;
  std::string _task;
  std::chrono::nanoseconds _timeout;
};

// {task}/set_control_mask: forwards the mask to "/jm_cli_<task>/set_mask"
// (time-out 1 s).
class PluginMaskService {
public:
  using Client = ServiceClient<uint32_t, bool>;
  // Set-up (the bridge's on_initialize); allocates.
  PluginMaskService(std::shared_ptr<Client> client, std::string task);
  // Bridge thread (ROS queue); allocates; may block up to the time-out.
  bool operator()(orvo_msgs::SetControlMask::Request& request,
                  orvo_msgs::SetControlMask::Response& response) const;

private:
  std::shared_ptr<Client> _client;
  std::string _task;
};

// get_plugin_list: the task names known when the bridge initialised.
class PluginListService {
public:
  // Set-up (the bridge's on_initialize); allocates.
  explicit PluginListService(std::vector<std::string> tasks);
  // Bridge thread (ROS queue); allocates, never blocks.
  bool operator()(orvo_msgs::GetPluginList::Request& request,
                  orvo_msgs::GetPluginList::Response& response) const;

private:
  std::vector<std::string> _tasks;
};

}  // namespace Orvo
