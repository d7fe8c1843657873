// The robot interface over the real joint master and dummy joints, all
// cycled in this thread as one worker thread would drive them: commands go
// through the master's pipeline to the joints, their echo comes back.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "robot_test_support.h"

namespace {

class RobotWithJointMaster : public ::testing::Test {
protected:
  void SetUp() override {
    const auto options = Orvo::ConfigOptions::FromConfigFile(OrvoTest::kDummyRobot);
    Orvo::Context().paramManager().setParam<std::string>("/robot_description", options.get_urdf());
    OrvoTest::publish_hardware_description(OrvoTest::kDummyRobot);
    const auto hw = Orvo::Context().paramManager().getParamOrThrow<Orvo::Hal::HardwareDescription>(
        Orvo::RobotInterfaceOrvo2Rt::HardwareDescriptionParam);
    drivers = Orvo::Hal::DeviceContainerBase::MakeDriver("joint_dummy", hw.getDeviceInfoAll("joint_dummy"));
    master = Orvo::Hal::DeviceContainerBase::MakeDriver("joint_master", {});
    robot = OrvoTest::make_robot(OrvoTest::kDummyRobot);
    ASSERT_TRUE(robot);
    robot->setOwner("ctrl_task");
  }
  void TearDown() override { Orvo::RobotInterface::clearRobotMap(); }

  // The hardware's part of a cycle, then the robot's sense().
  bool cycle() {
    drivers->sense_all();
    master->sense_all();
    master->run_all();
    master->move_all();
    drivers->move_all();
    return robot->sense();
  }

  // Cycles until the master publishes every joint's state; false after 20.
  bool wait_for_state() {
    for (int i = 0; i < 20; ++i) {
      if (cycle()) {
        return true;
      }
    }
    return false;
  }

  Orvo::Hal::JointApi& joint(int id) { return *robot->getJointMap().at(id); }

  std::unique_ptr<Orvo::Hal::DeviceContainerBase> drivers;
  std::unique_ptr<Orvo::Hal::DeviceContainerBase> master;
  std::shared_ptr<Orvo::RobotInterfaceOrvo2Rt> robot;
};

}  // namespace

TEST_F(RobotWithJointMaster, CommandsReachTheJointsAndTheirEchoComesBack) {
  ASSERT_TRUE(wait_for_state());
  // A step the master's rate limit lets through (below velocity x 1 ms).
  joint(3).set_pos_ref(0.002);
  joint(5).set_stiffness_ref(250.0);
  ASSERT_TRUE(robot->move());
  for (int i = 0; i < 3; ++i) {
    cycle();
  }
  EXPECT_FLOAT_EQ(static_cast<float>(joint(3).get_link_pos()), 0.002f);
  EXPECT_FLOAT_EQ(static_cast<float>(joint(5).get_stiffness()), 250.f);
  EXPECT_FLOAT_EQ(static_cast<float>(joint(5).get_link_pos()), 0.f);
  EXPECT_FLOAT_EQ(static_cast<float>(joint(1).get_stiffness()), 0.f);
}

TEST_F(RobotWithJointMaster, AVelocityModeOutlivesTheMastersExpiryAnUnrepeatedCommandDoesNot) {
  ASSERT_TRUE(wait_for_state());
  ASSERT_TRUE(robot->setControlMode("elbow_pitch", Orvo::ControlMode::Velocity()));
  joint(3).set_vel_ref(0.5);
  joint(4).set_vel_ref(0.5);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(250);
  while (std::chrono::steady_clock::now() < end) {
    ASSERT_TRUE(robot->move());
    cycle();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_FLOAT_EQ(static_cast<float>(joint(3).get_vel_ref()), 0.5f);
  EXPECT_FLOAT_EQ(static_cast<float>(joint(4).get_vel_ref()), 0.f);
}
