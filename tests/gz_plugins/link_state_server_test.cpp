// The link-state server inside the simulator stand-in: the links its `links`
// element lists, in document order, with their messages for bad entries, and
// the world pose and velocities as the robot end receives them.

#include <cmath>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "gz_test_models.h"
#include "gz_test_support.h"

using gz_test::ConsoleCapture;
using gz_test::LinkPeer;
using gz_test::RobotEnd;
using gz_test::SimWorld;
using gz_test::TableEntry;
using testing::ElementsAre;
using testing::HasSubstr;

namespace {

// "arm" turns about a vertical axis 0.5 m from its origin, so that its origin
// moves when the joint "j" does.
std::string arm_model(const std::string& links) {
  return R"(<sdf version="1.7"><world name="w"><model name="lm">
    <link name="base"><inertial><mass>1</mass></inertial></link>
    <link name="arm"><pose>0.5 0 1 0 0 0</pose>
      <inertial><mass>1</mass><inertia><ixx>0.1</ixx><iyy>0.1</iyy><izz>0.1</izz></inertia></inertial>
    </link>
    <joint name="j" type="revolute"><pose>-0.5 0 0 0 0 0</pose><parent>base</parent><child>arm</child>
      <axis><xyz>0 0 1</xyz></axis></joint>)" +
         gz_test::plugin("link_state_sensor", links) + "</model></world></sdf>";
}

}  // namespace

TEST(GzLinkStateSensor, ServesTheListedLinksAndReportsBadEntries) {
  ConsoleCapture err(gazebo::common::Console::err, &std::cerr);
  SimWorld sim(arm_model(R"(<links>
      <link name="arm"/>
      <frame name="arm"/>
      <link/>
      <link name="nope"/>
      <link name="base"/>
    </links>)"));

  // Document order, every id 0, names with "_lss".
  EXPECT_THAT(gz_test::channel_table("link_state_sensor"),
              ElementsAre(TableEntry{"arm_lss", "link_state_sensor", 0},
                          TableEntry{"base_lss", "link_state_sensor", 0}));
  const std::string errors = err.text();
  EXPECT_THAT(errors, HasSubstr("unsupported sdf element 'frame'"));
  EXPECT_THAT(errors, HasSubstr("link element must have attribute 'name'"));
  EXPECT_THAT(errors, HasSubstr("unable to get link ''"));
  EXPECT_THAT(errors, HasSubstr("unable to get link 'nope'"));
}

TEST(GzLinkStateSensor, RecordHoldsTheWorldPoseWithWLastAndTheWorldVelocities) {
  SimWorld sim(arm_model("<links><link name=\"arm\"/></links>"));
  const double angle = 0.8;
  auto joint = sim.joint("lm", "j");
  joint->SetPosition(0, angle);
  joint->SetVelocity(0, 0.5);
  sim.world->UpdateState();
  auto arm = sim.link("lm", "arm");
  const ignition::math::Pose3d pose = arm->WorldPose();
  const ignition::math::Vector3d linear = arm->WorldLinearVel();
  const ignition::math::Vector3d angular = arm->WorldAngularVel();

  RobotEnd<LinkPeer> robot("link_state_sensor", {"arm_lss"});
  ASSERT_TRUE(robot.client->check_server_alive());
  sim.world->Step();  // senses the state above, then moves on
  ASSERT_TRUE(robot.client->recv());
  const Orvo::Hal::LinkStateSensorRx& rx = robot[0].rx();

  // Doubles unchanged, in the record's order.
  EXPECT_THAT(gz_test::fields<double>(rx),
              ElementsAre(pose.Pos().X(), pose.Pos().Y(), pose.Pos().Z(), pose.Rot().X(), pose.Rot().Y(),
                          pose.Rot().Z(), pose.Rot().W(), linear.X(), linear.Y(), linear.Z(), angular.X(),
                          angular.Y(), angular.Z()));

  // What those are: a turn by `angle` about z, stored (0, 0, sin, cos).
  EXPECT_NEAR(rx.quat_x, 0.0, 1e-12);
  EXPECT_NEAR(rx.quat_y, 0.0, 1e-12);
  EXPECT_NEAR(rx.quat_z, std::sin(angle / 2), 1e-12);
  EXPECT_NEAR(rx.quat_w, std::cos(angle / 2), 1e-12);
  EXPECT_NEAR(rx.pos_x, 0.5 * std::cos(angle), 1e-12);
  EXPECT_NEAR(rx.pos_y, 0.5 * std::sin(angle), 1e-12);
  EXPECT_NEAR(rx.pos_z, 1.0, 1e-12);
  EXPECT_NEAR(rx.ang_vel_z, 0.5, 1e-12);
  EXPECT_NEAR(std::hypot(rx.lin_vel_x, rx.lin_vel_y), 0.25, 1e-12);
}

TEST(GzLinkStateSensor, LinkListedTwiceIsServedOnce) {
  // The channel pairs devices by name and type: the second "arm_lss" is left
  // out with an error line, the rest is served.
  ConsoleCapture err(gazebo::common::Console::err, &std::cerr);
  SimWorld sim(arm_model("<links><link name=\"arm\"/><link name=\"base\"/><link name=\"arm\"/></links>"));
  EXPECT_THAT(gz_test::channel_table("link_state_sensor"),
              ElementsAre(TableEntry{"arm_lss", "link_state_sensor", 0},
                          TableEntry{"base_lss", "link_state_sensor", 0}));
  EXPECT_THAT(err.text(), HasSubstr("device 'arm_lss' of type 'link_state_sensor' left out of the channel: an "
                                    "earlier device has that name and type\n"));
}
