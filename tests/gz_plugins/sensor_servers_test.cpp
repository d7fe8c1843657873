// The IMU and force-torque servers inside the simulator stand-in: which
// sensors of the sensor manager they take (the "::<model>::" key), what they
// print, and the records as the robot end receives them.

#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <gazebo/sensors/sensors.hh>

#include "gz_test_models.h"
#include "gz_test_support.h"

using gz_test::FtPeer;
using gz_test::ImuPeer;
using gz_test::RobotEnd;
using gz_test::SimWorld;
using gz_test::TableEntry;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

namespace {

// Model "arm" (an IMU on "tool", a force-torque sensor on "j") with both
// servers; "armx", whose name only begins with "arm"; and "other", whose link
// named "arm" carries an IMU.
const std::string kWorld = R"(<sdf version="1.7"><world name="w">
  <model name="arm">
    <link name="base"><inertial><mass>1</mass></inertial></link>
    <link name="tool"><pose>0 0 1 0 0 0</pose>
      <inertial><pose>0.5 0 0 0 0 0</pose><mass>2</mass>
        <inertia><ixx>0.1</ixx><iyy>0.1</iyy><izz>0.1</izz></inertia></inertial>
      <sensor name="tool_imu" type="imu"/>
    </link>
    <joint name="fix" type="fixed"><parent>world</parent><child>base</child></joint>
    <joint name="j" type="revolute"><parent>base</parent><child>tool</child>
      <axis><xyz>0 1 0</xyz></axis>
      <sensor name="j_ft" type="force_torque"/>
    </joint>)" + gz_test::plugin("imu_server") + gz_test::plugin("ft_server") + R"(
  </model>
  <model name="armx"><pose>5 0 0 0 0 0</pose>
    <link name="l"><inertial><mass>1</mass></inertial><sensor name="x_imu" type="imu"/></link>
  </model>
  <model name="other"><pose>-5 0 0 0 0 0</pose>
    <link name="arm"><inertial><mass>1</mass></inertial><sensor name="other_imu" type="imu"/></link>
  </model>
</world></sdf>)";

}  // namespace

TEST(GzSensorServers, TakeTheSensorsWhoseScopedNameHoldsTheModelKey) {
  testing::internal::CaptureStdout();
  SimWorld sim(kWorld);
  const std::string out = testing::internal::GetCapturedStdout();

  // A segment named like the model matches, a name that only begins with it does not.
  EXPECT_THAT(gz_test::channel_table("imu_gz"),
              ElementsAre(TableEntry{"tool_imu", "imu_gz", 0}, TableEntry{"other_imu", "imu_gz", 0}));
  EXPECT_THAT(gz_test::channel_table("ft_gz"), ElementsAre(TableEntry{"j_ft", "ft_gz", 0}));
  EXPECT_THAT(out, HasSubstr("imu 'w::arm::tool::tool_imu' found with type 'ImuSensor' \n"));
  EXPECT_THAT(out, HasSubstr("imu 'w::other::arm::other_imu' found with type 'ImuSensor' \n"));
  EXPECT_THAT(out, HasSubstr("ft 'w::arm::j::j_ft' found with type 'ForceTorqueSensor' \n"));
  EXPECT_THAT(out, Not(HasSubstr("x_imu")));
}

TEST(GzSensorServers, RecordsHoldTheReadingsNarrowedWithWLast) {
  SimWorld sim(kWorld);
  auto imu = std::dynamic_pointer_cast<gazebo::sensors::ImuSensor>(
      gazebo::sensors::SensorManager::Instance()->GetSensor("w::arm::tool::tool_imu"));
  auto ft = std::dynamic_pointer_cast<gazebo::sensors::ForceTorqueSensor>(
      gazebo::sensors::SensorManager::Instance()->GetSensor("w::arm::j::j_ft"));
  ASSERT_TRUE(imu && ft);
  RobotEnd<ImuPeer> imus("imu_gz", {"tool_imu"});
  RobotEnd<FtPeer> fts("ft_gz", {"j_ft"});
  ASSERT_TRUE(imus.client->check_server_alive());
  ASSERT_TRUE(fts.client->check_server_alive());

  // At rest: the identity orientation is (0, 0, 0, 1).
  sim.world->Step();
  ASSERT_TRUE(imus.client->recv());
  const std::vector<float> rest = gz_test::fields<float>(imus[0].rx());
  EXPECT_THAT(std::vector<float>(rest.begin() + 6, rest.end()), ElementsAre(0.0f, 0.0f, 0.0f, 1.0f));
  EXPECT_EQ(rest[5], static_cast<float>(imu->LinearAcceleration().Z()));

  // Turned and turning: every field is the sensor's reading of the state
  // before the update, narrowed to float.
  auto joint = sim.joint("arm", "j");
  joint->SetPosition(0, 0.7);
  joint->SetVelocity(0, -0.4);
  joint->SetForce(0, 3.0);
  sim.world->Step();
  const ignition::math::Vector3d w = imu->AngularVelocity();
  const ignition::math::Vector3d a = imu->LinearAcceleration();
  const ignition::math::Quaterniond q = imu->Orientation();
  const ignition::math::Vector3d force = ft->Force();
  const ignition::math::Vector3d torque = ft->Torque();
  sim.world->Step();
  ASSERT_TRUE(imus.client->recv());
  ASSERT_TRUE(fts.client->recv());
  auto narrowed = [](double v) { return static_cast<float>(v); };
  const Orvo::Hal::imu_rx i = imus[0].rx();
  EXPECT_THAT(gz_test::fields<float>(i),
              ElementsAre(narrowed(w.X()), narrowed(w.Y()), narrowed(w.Z()), narrowed(a.X()), narrowed(a.Y()),
                          narrowed(a.Z()), narrowed(q.X()), narrowed(q.Y()), narrowed(q.Z()), narrowed(q.W())));
  EXPECT_NE(i.quat_y, 0.0f);
  EXPECT_NE(i.ang_vel_y, 0.0f);
  const Orvo::Hal::ft_rx f = fts[0].rx();
  EXPECT_THAT(gz_test::fields<float>(f),
              ElementsAre(narrowed(force.X()), narrowed(force.Y()), narrowed(force.Z()), narrowed(torque.X()),
                          narrowed(torque.Y()), narrowed(torque.Z())));
  EXPECT_NE(f.force_z, 0.0f) << "the tool's weight";
}
