// The world-update cycle of the four plug-ins allocates nothing, with the
// example robot's model and commands arriving from a robot end.

#include <string>

#include <gtest/gtest.h>

#include "alloc_counter.h"
#include "gz_test_support.h"

TEST(GzPluginCycle, AllocatesNothing) {
  gz_test::SimWorld sim(std::string(ORVO2_EXAMPLES_DIR) + "/sim_robot/sim_arm.sdf", gz_test::SimWorld::File);
  gz_test::RobotEnd<gz_test::JointPeer> robot("joint_gz", {"shoulder_yaw", "elbow_pitch"});
  ASSERT_TRUE(robot.client->check_server_alive());
  sim.world->Step();

  Orvo::test::AllocCounter counter;
  for (int k = 0; k < 200; ++k) {
    robot[0].tx().pos_ref = 0.001f * static_cast<float>(k);
    robot[0].tx().stiffness = 100.0f;
    robot.client->send();
    sim.world->Step();
    robot.client->recv();
  }
  const std::size_t allocations = counter.count();
  EXPECT_EQ(allocations, 0u);
  EXPECT_NE(robot[0].rx().pos_ref, 0.0f) << "the commands arrived";
}
