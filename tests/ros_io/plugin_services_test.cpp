// Reply texts of the plug-in control services, against real framework
// services served in the caller's thread, by a thread that does not answer,
// or not at all.

#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "framework/typed/service.h"
#include "orvo2/services/service_manager.h"
#include "plugin_services.h"
#include "server_thread.h"

namespace Orvo {
namespace {

using namespace std::chrono_literals;

ServiceManager& services() { return Context().serviceManager(); }

TEST(PluginServices, SwitchAndAbortCarryTheSchedulersVerdict) {
  std::vector<Runnable::Command> seen;
  bool verdict = true;
  auto server = services().advertiseService<Runnable::Command, bool>(
      "/orvo_internal/scheduler/x/command",
      [&](const Runnable::Command& command, bool& accepted) {
        seen.push_back(command);
        accepted = verdict;
        return true;
      },
      nullptr);
  auto client = services().serviceClient<Runnable::Command, bool>("/orvo_internal/scheduler/x/command");
  const PluginSwitchService toggle(client, "x", 100ms);
  const PluginAbortService abort(client, "x", 100ms);

  std_srvs::SetBool::Request on;
  std_srvs::SetBool::Request off;
  std_srvs::SetBool::Response reply;
  on.data = true;
  off.data = false;
  ASSERT_TRUE(toggle(on, reply));
  EXPECT_TRUE(reply.success);
  EXPECT_EQ(reply.message, "Successfully started 'x'");
  ASSERT_TRUE(toggle(off, reply));
  EXPECT_EQ(reply.message, "Successfully halted 'x'");
  std_srvs::Trigger::Request trigger;
  std_srvs::Trigger::Response abort_reply;
  ASSERT_TRUE(abort(trigger, abort_reply));
  EXPECT_TRUE(abort_reply.success);
  EXPECT_EQ(abort_reply.message, "Successfully aborted 'x'");

  verdict = false;
  ASSERT_TRUE(toggle(off, reply));
  EXPECT_FALSE(reply.success);
  EXPECT_EQ(reply.message, "Unable to halt 'x'");
  ASSERT_TRUE(abort(trigger, abort_reply));
  EXPECT_FALSE(abort_reply.success);
  EXPECT_EQ(abort_reply.message, "Unable to  abort 'x'");
  EXPECT_EQ(seen, (std::vector<Runnable::Command>{Runnable::Start, Runnable::Stop, Runnable::Abort,
                                                  Runnable::Stop, Runnable::Abort}));
}

TEST(PluginServices, SilentSchedulerTimesOutWithTheHandlersTimeout) {
  test::ServerThread silent([](CallbackQueue& queue) {
    services().advertiseService<Runnable::Command, bool>(
        "/orvo_internal/scheduler/x/command",
        [](const Runnable::Command&, bool& accepted) {
          accepted = true;
          return true;
        },
        &queue);
    services().advertiseService<service::Empty, std::string>(
        "/orvo_internal/scheduler/x/get_state",
        [](const service::Empty&, std::string& state) {
          state = "Running";
          return true;
        },
        &queue);
  });
  ASSERT_TRUE(silent.ready());
  auto command = services().serviceClient<Runnable::Command, bool>("/orvo_internal/scheduler/x/command");
  auto state = services().serviceClient<service::Empty, std::string>("/orvo_internal/scheduler/x/get_state");

  // While the thread drains, the state comes back as the scheduler wrote it.
  const PluginStateService query(state, "x", 2s);
  orvo_msgs::PluginStatus::Request status_request;
  orvo_msgs::PluginStatus::Response status;
  EXPECT_TRUE(query(status_request, status));
  EXPECT_EQ(status.state, "Running");

  silent.set_draining(false);
  std_srvs::SetBool::Request on;
  std_srvs::SetBool::Response reply;
  on.data = true;
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(PluginSwitchService(command, "x", 40ms)(on, reply));
  EXPECT_GE(std::chrono::steady_clock::now() - started, 40ms);
  EXPECT_FALSE(reply.success);
  EXPECT_EQ(reply.message, "Unable to start 'x', server did not respond within timeout");

  // No answer: the ROS call itself fails.
  EXPECT_FALSE(PluginStateService(state, "x", 20ms)(status_request, status));
  EXPECT_EQ(status.state, "InvalidState");
}

TEST(PluginServices, TaskMaskWithoutServerAndPluginList) {
  const PluginMaskService mask(services().serviceClient<uint32_t, bool>("/jm_cli_x/set_mask"), "x");
  orvo_msgs::SetControlMask::Request request;
  orvo_msgs::SetControlMask::Response reply;
  request.mask = 7;
  ASSERT_TRUE(mask(request, reply));
  EXPECT_FALSE(reply.success);
  EXPECT_EQ(reply.message,
            "Unable to set control mask to 7 for task 'x', server did not respond within timeout");

  auto server = services().advertiseService<uint32_t, bool>(
      "/jm_cli_x/set_mask",
      [](const uint32_t& value, bool& accepted) {
        accepted = value == 7;
        return true;
      },
      nullptr);
  ASSERT_TRUE(mask(request, reply));
  EXPECT_TRUE(reply.success);
  EXPECT_EQ(reply.message, "Succesfully set control mask to 7 for task 'x'");

  orvo_msgs::GetPluginList::Request list_request;
  orvo_msgs::GetPluginList::Response list;
  ASSERT_TRUE(PluginListService({"a", "b"})(list_request, list));
  EXPECT_EQ(list.plugins, (std::vector<std::string>{"a", "b"}));
  ASSERT_TRUE(PluginListService({})(list_request, list));
  EXPECT_TRUE(list.plugins.empty());
}

}  // namespace
}  // namespace Orvo
