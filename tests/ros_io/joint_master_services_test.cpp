// Reply texts of the joint master tuning services, against real framework
// services: served in the caller's thread, served by a thread that does not
// answer, and not served at all.

#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "framework/typed/service.h"
#include "joint_master_services.h"
#include "orvo2/services/service_manager.h"
#include "server_thread.h"

namespace Orvo {
namespace {

using namespace std::chrono_literals;

template <typename Req>
std::shared_ptr<ServiceServer<Req, bool>> serve(const std::string& name, std::vector<Req>& seen,
                                                bool verdict) {
  return Context().serviceManager().advertiseService<Req, bool>(
      name,
      [&seen, verdict](const Req& request, bool& accepted) {
        seen.push_back(request);
        accepted = verdict;
        return true;
      },
      nullptr);
}

// The accepted texts are checked against the real joint master end to end.
TEST(JointMasterServices, RefusalsNameTheRequestAndTheValuesReachTheJointMaster) {
  std::vector<bool> switches;
  std::vector<double> cutoffs;
  std::vector<uint32_t> masks;
  auto filter_server = serve<bool>("/joint_master/enable_tx_filter", switches, false);
  auto cutoff_server = serve<double>("/joint_master/set_tx_filter_cutoff", cutoffs, false);
  auto mask_server = serve<uint32_t>("/joint_master/set_mask", masks, false);

  const FilterSwitchService filter(
      Context().serviceManager().serviceClient<bool, bool>("/joint_master/enable_tx_filter"), 100ms);
  std_srvs::SetBool::Request request;
  std_srvs::SetBool::Response response;
  request.data = true;
  ASSERT_TRUE(filter(request, response));
  EXPECT_FALSE(response.success);
  EXPECT_EQ(response.message, "Could not enable joint tx filter");
  request.data = false;
  ASSERT_TRUE(filter(request, response));
  EXPECT_EQ(response.message, "Could not disable joint tx filter");
  EXPECT_EQ(switches, (std::vector<bool>{true, false}));

  auto cutoff = Context().serviceManager().serviceClient<double, bool>("/joint_master/set_tx_filter_cutoff");
  std_srvs::Trigger::Request trigger;
  std_srvs::Trigger::Response trigger_response;
  ASSERT_TRUE(FilterProfileService(cutoff, 1.0)(trigger, trigger_response));
  EXPECT_FALSE(trigger_response.success);
  EXPECT_EQ(trigger_response.message, "Unable to set filter cutoff to 1 Hz");
  ASSERT_TRUE(FilterProfileService(cutoff, 5.0)(trigger, trigger_response));
  ASSERT_TRUE(FilterProfileService(cutoff, 20.0)(trigger, trigger_response));
  EXPECT_EQ(cutoffs, (std::vector<double>{1.0, 5.0, 20.0}));

  const MasterMaskService mask(
      Context().serviceManager().serviceClient<uint32_t, bool>("/joint_master/set_mask"));
  orvo_msgs::SetControlMask::Request mask_request;
  orvo_msgs::SetControlMask::Response mask_response;
  mask_request.mask = 255;
  ASSERT_TRUE(mask(mask_request, mask_response));
  EXPECT_FALSE(mask_response.success);
  EXPECT_EQ(mask_response.message, "Unable to set control mask to 255 for joint master");
  EXPECT_EQ(masks, (std::vector<uint32_t>{255}));
}

TEST(JointMasterServices, MissingOrSilentJointMasterIsReportedAndTheRosCallStillSucceeds) {
  // No server at all: the call fails at once.
  const FilterProfileService unserved(
      Context().serviceManager().serviceClient<double, bool>("/no_joint_master/set_tx_filter_cutoff"),
      5.0);
  std_srvs::Trigger::Request trigger;
  std_srvs::Trigger::Response trigger_response;
  ASSERT_TRUE(unserved(trigger, trigger_response));
  EXPECT_FALSE(trigger_response.success);
  EXPECT_EQ(trigger_response.message,
            "Unable to set filter cutoff to 5 Hz, server did not respond within timeout");

  // A server thread that does not drain: the filter switch waits its time-out.
  test::ServerThread silent([](CallbackQueue& queue) {
    Context().serviceManager().advertiseService<bool, bool>(
        "/silent_joint_master/enable_tx_filter",
        [](const bool&, bool& accepted) {
          accepted = true;
          return true;
        },
        &queue);
  });
  ASSERT_TRUE(silent.ready());
  silent.set_draining(false);
  const FilterSwitchService slow(
      Context().serviceManager().serviceClient<bool, bool>("/silent_joint_master/enable_tx_filter"),
      30ms);
  std_srvs::SetBool::Request enable;
  std_srvs::SetBool::Response enable_response;
  enable.data = true;
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(slow(enable, enable_response));
  EXPECT_GE(std::chrono::steady_clock::now() - started, 30ms);
  EXPECT_FALSE(enable_response.success);
  EXPECT_EQ(enable_response.message,
            "Could not enable joint tx filter, server did not respond within timeout");
}

}  // namespace
}  // namespace Orvo
