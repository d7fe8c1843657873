// The real-time robot interface against a stand-in of the joint master on the
// two aggregated topics: what move() sends, what sense() takes, and the
// sensor devices of the robot's device list.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "devices/sensor_records.h"
#include "orvo2/devices/force_torque.h"
#include "orvo2/devices/imu.h"
#include "orvo2/devices/joint_base.h"
#include "orvo2/devices/link_state_sensor.h"
#include "robot_test_support.h"
#include "temp_dir.h"
#include "dummy_arm.h"

using Orvo::ControlMode;
using Orvo::Hal::joint_tx;
using Orvo::Hal::JointMasterTx;

namespace {

std::vector<int> ids_of(const JointMasterTx& msg) {
  std::vector<int> ids;
  for (const auto& info : msg.info) {
    ids.push_back(info.id);
  }
  return ids;
}

std::vector<int> masks_of(const JointMasterTx& msg) {
  std::vector<int> masks;
  for (const auto& tx : msg.tx) {
    masks.push_back(tx.mask);
  }
  return masks;
}

class RobotInterfaceOrvo2RtTest : public ::testing::Test {
protected:
  void SetUp() override {
    OrvoTest::publish_hardware_description(OrvoTest::kDummyRobot);
    robot = OrvoTest::make_robot(OrvoTest::kDummyRobot);
    ASSERT_TRUE(robot);
    robot->setOwner("ctrl_task");
  }
  void TearDown() override { Orvo::RobotInterface::clearRobotMap(); }

  Orvo::Hal::JointApi& joint(int id) { return *robot->getJointMap().at(id); }

  // One move, and the one message it sent.
  JointMasterTx move_one() {
    master.received.clear();
    EXPECT_TRUE(robot->move());
    EXPECT_EQ(master.receive(), 1);
    return master.received.empty() ? JointMasterTx() : master.received.back();
  }

  OrvoTest::MasterStandIn master;
  std::shared_ptr<Orvo::RobotInterfaceOrvo2Rt> robot;
};

}  // namespace

TEST_F(RobotInterfaceOrvo2RtTest, FieldsSetSinceTheLastMoveAreSentOnce) {
  joint(1).set_pos_ref(0.5);
  joint(3).set_vel_ref(1.5);
  joint(3).set_tor_ref(-2.0);
  joint(3).set_stiffness_ref(300.0);
  joint(6).set_damping_ref(7.0);

  const JointMasterTx msg = move_one();
  EXPECT_EQ(msg.sender, "ctrl_task");
  EXPECT_EQ(ids_of(msg), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  ASSERT_EQ(msg.tx.size(), 6u);
  EXPECT_EQ(masks_of(msg), (std::vector<int>{joint_tx::POS_REF, 0,
                                             joint_tx::VEL_REF | joint_tx::TOR_REF | joint_tx::STIFFNESS, 0, 0,
                                             joint_tx::DAMPING}));
  EXPECT_FLOAT_EQ(msg.tx[0].pos_ref, 0.5f);
  EXPECT_FLOAT_EQ(msg.tx[2].vel_ref, 1.5f);
  EXPECT_FLOAT_EQ(msg.tx[2].tor_ref, -2.0f);
  EXPECT_FLOAT_EQ(msg.tx[2].stiffness, 300.0f);
  EXPECT_FLOAT_EQ(msg.tx[5].damping, 7.0f);
  EXPECT_EQ(msg.info[0].name, "shoulder_yaw");

  // The marks are cleared, the values kept: an idle robot sends nothing more.
  EXPECT_EQ(joint(3).get_tx().mask, 0);
  EXPECT_FLOAT_EQ(joint(3).get_tx().vel_ref, 1.5f);
  EXPECT_TRUE(robot->move());
  EXPECT_EQ(master.receive(), 0);

  joint(2).set_pos_ref(-1.0);
  EXPECT_EQ(masks_of(move_one()), (std::vector<int>{0, joint_tx::POS_REF, 0, 0, 0, 0}));
}

TEST_F(RobotInterfaceOrvo2RtTest, ControlModeFieldsAreSentEveryMoveOnceTheyHoldAValue) {
  robot->setControlMode(ControlMode::Position() + ControlMode::Velocity());

  // Before any state arrived only what was commanded goes out: a mode never
  // sends a reference nobody gave.
  EXPECT_TRUE(robot->move());
  EXPECT_EQ(master.receive(), 0);
  joint(2).set_vel_ref(0.25);
  EXPECT_EQ(masks_of(move_one()), (std::vector<int>{0, joint_tx::VEL_REF, 0, 0, 0, 0}));

  // The first state seeds the references not commanded: each joint is held
  // where it is, with no velocity; what was commanded stays.
  ASSERT_TRUE(master.publish(OrvoTest::aggregated({{1, 10.f}, {2, 20.f}, {3, 30.f}, {4, 40.f}, {5, 50.f}, {6, 60.f}})));
  ASSERT_TRUE(robot->sense());
  const int both = joint_tx::POS_REF | joint_tx::VEL_REF;
  JointMasterTx msg = move_one();
  EXPECT_EQ(masks_of(msg), (std::vector<int>{both, both, both, both, both, both}));
  EXPECT_FLOAT_EQ(msg.tx[0].pos_ref, 10.f);
  EXPECT_FLOAT_EQ(msg.tx[0].vel_ref, 0.f);
  EXPECT_FLOAT_EQ(msg.tx[1].pos_ref, 20.f);
  EXPECT_FLOAT_EQ(msg.tx[1].vel_ref, 0.25f);

  // Later states do not move the references; a commanded field joins the
  // mode's fields, an idle joint sends only what it is given.
  ASSERT_TRUE(master.publish(OrvoTest::aggregated({{1, 99.f}})));
  ASSERT_TRUE(robot->sense());
  joint(1).set_pos_ref(7.0);
  joint(1).set_stiffness_ref(500.0);
  ASSERT_TRUE(robot->setControlMode("wrist_yaw", ControlMode::Idle()));
  msg = move_one();
  EXPECT_EQ(masks_of(msg), (std::vector<int>{both | joint_tx::STIFFNESS, both, both, both, both, 0}));
  EXPECT_FLOAT_EQ(msg.tx[0].pos_ref, 7.f);
  EXPECT_FLOAT_EQ(msg.tx[0].stiffness, 500.f);
  EXPECT_FLOAT_EQ(msg.tx[2].pos_ref, 30.f);
  EXPECT_EQ(masks_of(move_one()), (std::vector<int>{both, both, both, both, both, 0}));
}

TEST_F(RobotInterfaceOrvo2RtTest, AggregatedStateReachesTheGettersById) {
  EXPECT_FALSE(robot->sense());

  // Entries by id in any order; an id the robot lacks and an entry without
  // a record are passed over.
  Orvo::Hal::JointMasterRx msg = OrvoTest::aggregated({{6, 60.f}, {42, 420.f}, {1, 10.f}, {2, 20.f}});
  msg.rx.pop_back();
  ASSERT_TRUE(master.publish(msg));
  ASSERT_TRUE(robot->sense());

  // The whole record, field by field (the fields count up from 60).
  EXPECT_DOUBLE_EQ(joint(6).get_link_pos(), 60.0);
  EXPECT_DOUBLE_EQ(joint(6).get_tor(), 64.0);
  EXPECT_DOUBLE_EQ(joint(6).get_damping(), 70.0);
  EXPECT_DOUBLE_EQ(joint(1).get_link_pos(), 10.0);
  EXPECT_DOUBLE_EQ(joint(2).get_link_pos(), 0.0);

  // Nothing new: false, the state stays. Two new ones: the newer wins.
  EXPECT_FALSE(robot->sense());
  EXPECT_DOUBLE_EQ(joint(1).get_link_pos(), 10.0);
  ASSERT_TRUE(master.publish(OrvoTest::aggregated({{1, 11.f}})));
  ASSERT_TRUE(master.publish(OrvoTest::aggregated({{1, 12.f}})));
  ASSERT_TRUE(robot->sense());
  EXPECT_DOUBLE_EQ(joint(1).get_link_pos(), 12.0);
}

TEST_F(RobotInterfaceOrvo2RtTest, CommandsWaitForTheNextMoveWhenNoMessageIsFree) {
  auto hog = Orvo::Context().topicManager().advertise<JointMasterTx>(
      Orvo::Hal::DeviceRt::TxTopicName("joint_master", "all_joints"), JointMasterTx(), "hog");
  std::vector<std::shared_ptr<Orvo::MessageAdapter<JointMasterTx>>> loans;
  while (auto loan = hog->loanMessage()) {
    loans.push_back(std::move(loan));
  }
  joint(4).set_pos_ref(2.0);
  EXPECT_FALSE(robot->move());
  EXPECT_EQ(joint(4).get_tx().mask, joint_tx::POS_REF);

  loans.clear();
  const JointMasterTx msg = move_one();
  EXPECT_EQ(masks_of(msg), (std::vector<int>{0, 0, 0, joint_tx::POS_REF, 0, 0}));
  EXPECT_FLOAT_EQ(msg.tx[3].pos_ref, 2.f);
}

TEST(RobotInterfaceOrvo2RtSensors, EverySensorIsInTheDeviceListAndSensedWithTheRobot) {
  OrvoTest::TempDir dir("ri_sensors");
  const std::string config =
      OrvoTest::dummy_arm_config(ORVO2_EXAMPLES_DIR "/dummy_robot/", {"shoulder_yaw", "elbow_pitch"})
          .device("joint_master", "all_joints", 100)
          .device("ft_gz", "wrist_ft", 20)
          .device("imu_gz", "base_imu", 21)
          .device("link_state_sensor", "tool_lss", 22)
          .write(dir);
  OrvoTest::publish_hardware_description(config);
  const auto robot = OrvoTest::make_robot(config);
  ASSERT_TRUE(robot);

  Orvo::Hal::ForceTorque* ft = nullptr;
  Orvo::Hal::Imu* imu = nullptr;
  Orvo::Hal::LinkStateSensor* lss = nullptr;
  int joints = 0;
  for (const auto& device : robot->getDeviceList()) {
    joints += dynamic_cast<Orvo::Hal::JointBase*>(device.get()) != nullptr ? 1 : 0;
    ft = ft ? ft : dynamic_cast<Orvo::Hal::ForceTorque*>(device.get());
    imu = imu ? imu : dynamic_cast<Orvo::Hal::Imu*>(device.get());
    lss = lss ? lss : dynamic_cast<Orvo::Hal::LinkStateSensor*>(device.get());
  }
  EXPECT_EQ(robot->getDeviceList().size(), 5u);
  EXPECT_EQ(joints, 2);
  ASSERT_TRUE(ft && imu && lss);
  EXPECT_EQ(ft->get_name(), "wrist_ft");
  EXPECT_EQ(lss->getLinkName(), "tool");

  // A record on the sensor's own topic reaches it with the robot's sense().
  auto ft_pub = Orvo::Context().topicManager().advertise<Orvo::Hal::ft_rx>(
      Orvo::Hal::DeviceRt::RxTopicName("ft_gz", "wrist_ft"), Orvo::Hal::ft_rx{}, "driver");
  auto loan = ft_pub->loanMessage();
  ASSERT_TRUE(loan);
  loan->value() = Orvo::Hal::ft_rx{1.f, 2.f, 3.f, 4.f, 5.f, 6.f};
  ASSERT_TRUE(ft_pub->publishLoaned(std::move(loan)));
  robot->sense();
  EXPECT_DOUBLE_EQ(ft->getWrench()[0], 1.0);
  EXPECT_DOUBLE_EQ(ft->getWrench()[5], 6.0);
  Orvo::RobotInterface::clearRobotMap();
}
