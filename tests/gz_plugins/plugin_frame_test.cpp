// What the four plug-ins share: a model with nothing to serve still gets its
// channel and its cycle, and every cycle publishes one rx frame.

#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <gazebo/common/Events.hh>

#include "gz_test_models.h"
#include "gz_test_support.h"

using gz_test::ConsoleCapture;
using gz_test::SimWorld;

TEST(GzPluginFrame, EmptyModelServesEmptyChannelsEveryUpdate) {
  const char* const channels[] = {"joint_gz", "link_state_sensor", "imu_gz", "ft_gz"};
  // Only a fixed joint, no sensors, no `links` element.
  ConsoleCapture err(gazebo::common::Console::err, &std::cerr);
  SimWorld sim(gz_test::chain_model({{"f", "fixed"}}, gz_test::plugin("joint_server") +
                                                          gz_test::plugin("link_state_sensor") +
                                                          gz_test::plugin("imu_server") + gz_test::plugin("ft_server")));
  EXPECT_EQ(gazebo::event::Events::worldUpdateBegin.ConnectionCount(), 4u);
  for (const char* channel : channels) {
    EXPECT_TRUE(gz_test::channel_table(channel).empty()) << channel;
    EXPECT_EQ(gz_test::channel_rx_frames(channel), 0u) << channel;
  }
  sim.world->Step(25);
  for (const char* channel : channels) {
    EXPECT_EQ(gz_test::channel_rx_frames(channel), 25u) << channel;
  }
  EXPECT_EQ(err.text(), "");
}
