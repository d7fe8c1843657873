// A driver in a process that follows a simulator stamps commands with the
// simulated time. Kept apart: switching simulated time on lasts for the
// process.
#include <gtest/gtest.h>

#include <chrono>

#include "devices/device_client_tpl.h"
#include "devices/device_driver_tpl.h"
#include "orvo2/clock/simulated_clock.h"

using namespace Orvo::Hal;
using Orvo::chrono::simulated_clock;

namespace {

class StampDriver : public DeviceDriverTpl<joint_rx, joint_tx> {
public:
  using DeviceDriverTpl::DeviceDriverTpl;
  int64_t stamp() const { return _tx_recv_stamp; }
};

}  // namespace

TEST(DeviceClock, CommandStampIsTheSimulatedTime) {
  const DeviceInfo info{"sim_joint", "joint_test", 1};
  StampDriver driver(info);
  DeviceClientTpl<joint_rx, joint_tx> client(info);

  simulated_clock::enable_sim_time(true);
  simulated_clock::set_time(std::chrono::nanoseconds(123456789));
  ASSERT_TRUE(client.move());
  ASSERT_TRUE(driver.move());
  EXPECT_EQ(driver.stamp(), 123456789);
}
