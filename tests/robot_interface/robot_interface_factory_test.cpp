// libRobotInterfaceOrvo2Rt's entry points, and the robot-model library making
// the real-time robot interface by the framework name "Orvo2Rt".
#include <gtest/gtest.h>
#include <gmock/gmock.h>
#include <dlfcn.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "robot_test_support.h"

using ::testing::HasSubstr;
using Orvo::RobotInterface;
using Orvo::RobotInterfaceOrvo2Rt;

namespace {

std::string make_error(const std::string& config) {
  try {
    OrvoTest::make_robot(config);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no error";
}

std::shared_ptr<Orvo::Topic> topic(const std::string& name) {
  return Orvo::Context().topicManager().get_topic(name);
}

class RobotInterfaceFactoryTest : public ::testing::Test {
protected:
  void TearDown() override { RobotInterface::clearRobotMap(); }
};

}  // namespace

TEST_F(RobotInterfaceFactoryTest, EntryPointsMakeAndDeleteTheMostDerivedObjectOnce) {
  void* library = ::dlopen(ROBOT_INTERFACE_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << ::dlerror();
  auto create = reinterpret_cast<RobotInterface* (*)()>(::dlsym(library, "create_instance"));
  auto destroy = reinterpret_cast<void (*)(RobotInterface*)>(::dlsym(library, "destroy_instance"));
  ASSERT_NE(create, nullptr);
  ASSERT_NE(destroy, nullptr);

  destroy(nullptr);

  OrvoTest::publish_hardware_description(OrvoTest::kDummyRobot);
  RobotInterface* robot = create();
  ASSERT_NE(dynamic_cast<RobotInterfaceOrvo2Rt*>(robot), nullptr);
  ASSERT_TRUE(robot->init(Orvo::ConfigOptions::FromConfigFile(OrvoTest::kDummyRobot)));
  const std::weak_ptr<Orvo::Hal::JointApi> joint =
      dynamic_cast<RobotInterfaceOrvo2Rt*>(robot)->getJointMap().at(1);
  const auto tx = topic(Orvo::Hal::DeviceRt::TxTopicName("joint_master", "all_joints"));
  const auto rx = topic(Orvo::Hal::DeviceRt::RxTopicName("joint_master", "all_joints"));
  ASSERT_TRUE(tx && rx);
  EXPECT_EQ(tx->publisher_count(), 1);
  EXPECT_EQ(rx->subscriber_count(), 1u);

  // Deleted through the base pointer: only the derived destructor lets go of
  // the joints and the aggregated topics.
  destroy(robot);
  EXPECT_TRUE(joint.expired());
  EXPECT_EQ(tx->publisher_count(), 0);
  EXPECT_EQ(rx->subscriber_count(), 0u);
  ::dlclose(library);
}

TEST_F(RobotInterfaceFactoryTest, MadeByNameWithOneDetachedJointPerConfiguredJoint) {
  OrvoTest::publish_hardware_description(OrvoTest::kDummyRobot);
  const auto robot = OrvoTest::make_robot(OrvoTest::kDummyRobot);
  ASSERT_TRUE(robot);

  const auto& joints = robot->getJointMap();
  ASSERT_EQ(joints.size(), 6u);
  const char* names[] = {"shoulder_yaw", "shoulder_pitch", "elbow_pitch", "wrist_roll", "wrist_pitch", "wrist_yaw"};
  int id = 1;
  for (const auto& entry : joints) {
    SCOPED_TRACE(id);
    EXPECT_EQ(entry.first, id);
    EXPECT_EQ(entry.second->get_id(), id);
    EXPECT_EQ(entry.second->get_name(), names[id - 1]);
    EXPECT_EQ(entry.second->get_type(), "joint_dummy");
    // Served by the joint master, not by its own topics.
    EXPECT_FALSE(entry.second->sense());
    EXPECT_EQ(topic(Orvo::Hal::DeviceRt::RxTopicName("joint_dummy", names[id - 1])), nullptr);
    ++id;
  }
  ASSERT_EQ(robot->getDeviceList().size(), 6u);
  EXPECT_EQ(robot->getDeviceList()[2], joints.at(3));
}

TEST_F(RobotInterfaceFactoryTest, RefusesARobotItsHardwareDescriptionDoesNotMatch) {
  Orvo::Hal::HardwareDescription hw;
  hw.addDeviceInfo({"shoulder_yaw", "joint_dummy", 1});
  Orvo::Context().paramManager().setParam(RobotInterfaceOrvo2Rt::HardwareDescriptionParam, hw);
  EXPECT_THAT(make_error(OrvoTest::kDummyRobot),
              HasSubstr("joint 'shoulder_pitch' (id 2) is not a device of the hardware description"));

  // A device type without a library is refused by the loader, by name.
  OrvoTest::publish_hardware_description(OrvoTest::kDummyRobot);
  auto with_unknown = Orvo::Context().paramManager().getParamOrThrow<Orvo::Hal::HardwareDescription>(
      RobotInterfaceOrvo2Rt::HardwareDescriptionParam);
  with_unknown.addDeviceInfo({"mystery", "no_such_sensor", 50});
  Orvo::Context().paramManager().setParam(RobotInterfaceOrvo2Rt::HardwareDescriptionParam, with_unknown);
  EXPECT_THAT(make_error(OrvoTest::kDummyRobot), HasSubstr("liborvodev_no_such_sensor.so"));
}

TEST_F(RobotInterfaceFactoryTest, RefusesARobotWithoutHardwareDescription) {
  if (Orvo::Context().paramManager().findParam<Orvo::Hal::HardwareDescription>(
          RobotInterfaceOrvo2Rt::HardwareDescriptionParam)) {
    GTEST_SKIP() << "another test of this process set the hardware description";
  }
  EXPECT_THAT(make_error(OrvoTest::kDummyRobot),
              HasSubstr("parameter '/orvo_internal/hardware_description' (the hardware description) is not set"));
}
