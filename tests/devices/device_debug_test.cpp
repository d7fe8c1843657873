// Trace lines of the device templates with ORVO2_LDEBUG at 2: set before any
// trace point is passed, since each one reads the level once.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "devices/device_client_tpl.h"
#include "devices/device_driver_tpl.h"

using namespace Orvo::Hal;

namespace {

const bool debug_level_set = ::setenv("ORVO2_LDEBUG", "2", 1) == 0;

class FailingDriver : public DeviceDriverTpl<joint_rx, joint_tx> {
public:
  using DeviceDriverTpl::DeviceDriverTpl;
  bool sense_impl() override { return ok; }
  bool ok = false;
};

}  // namespace

TEST(DeviceDebug, EveryTracePointPrintsAtLevelTwo) {
  ASSERT_TRUE(debug_level_set);
  const DeviceInfo info{"dbg_joint", "joint_test", 1};
  FailingDriver driver(info);
  DeviceClientTpl<joint_rx, joint_tx> client(info);

  testing::internal::CaptureStdout();
  EXPECT_FALSE(driver.sense());
  driver.ok = true;
  EXPECT_TRUE(driver.sense());
  EXPECT_TRUE(client.sense());
  EXPECT_TRUE(client.move());
  EXPECT_TRUE(driver.move());
  const std::string out = testing::internal::GetCapturedStdout();

  EXPECT_EQ(out,
            "[dbg ][sense] sense_impl() failed for dbg_joint \n"
            "[dbg ][sense] publishing rx for dbg_joint \n"
            "[dbg ][on_rx_recv] received rx for dbg_joint \n"
            "[dbg ][move] publishing tx for dbg_joint \n"
            "[dbg ][on_tx_recv] received tx for dbg_joint \n");
}
