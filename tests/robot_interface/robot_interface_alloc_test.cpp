// sense() and move() of the real-time robot interface allocate nothing, from
// the first cycle on when the joint master's subscription was there first.
#include <gtest/gtest.h>

#include "alloc_counter.h"
#include "robot_test_support.h"

TEST(RobotInterfaceOrvo2RtAlloc, SenseAndMoveAllocateNothing) {
  OrvoTest::MasterStandIn master;
  OrvoTest::publish_hardware_description(OrvoTest::kDummyRobot);
  const auto robot = OrvoTest::make_robot(OrvoTest::kDummyRobot);
  ASSERT_TRUE(robot);
  robot->setOwner("a_control_task_with_a_long_name");
  robot->setControlMode(Orvo::ControlMode::Position());
  Orvo::Hal::JointApi& joint = *robot->getJointMap().at(2);
  const auto state = OrvoTest::aggregated({{1, 1.f}, {2, 2.f}, {3, 3.f}, {4, 4.f}, {5, 5.f}, {6, 6.f}});

  size_t allocations = 0;
  int sent = 0;
  for (int cycle = 0; cycle < 500; ++cycle) {
    ASSERT_TRUE(master.publish(state));
    {
      Orvo::test::AllocCounter counter;
      robot->sense();
      joint.set_vel_ref(0.001 * cycle);
      robot->move();
      allocations += counter.count();
    }
    sent += master.receive();
    master.received.clear();
  }
  EXPECT_EQ(allocations, 0u);
  EXPECT_EQ(sent, 500);
  Orvo::RobotInterface::clearRobotMap();
}
