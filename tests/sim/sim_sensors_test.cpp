// IMU and force-torque readings of the simulated world.

#include <cmath>

#include <gtest/gtest.h>

#include <gazebo/physics/physics.hh>
#include <gazebo/sensors/sensors.hh>

#include "orvo2/sim/world_loader.h"
#include "sim_test_models.h"

using gazebo::sensors::ForceTorqueSensor;
using gazebo::sensors::ImuSensor;
using gazebo::sensors::SensorManager;

namespace {

template <typename T>
std::shared_ptr<T> sensor(const std::string& scoped_name) {
  return std::dynamic_pointer_cast<T>(SensorManager::Instance()->GetSensor(scoped_name));
}

void expect_vector(const ignition::math::Vector3d& actual, const ignition::math::Vector3d& expected,
                   double tol) {
  EXPECT_NEAR(actual.X(), expected.X(), tol) << actual;
  EXPECT_NEAR(actual.Y(), expected.Y(), tol) << actual;
  EXPECT_NEAR(actual.Z(), expected.Z(), tol) << actual;
}

}  // namespace

TEST(SimSensors, ImuReadsGravityTurnAndAccelerationOfItsLink) {
  auto world = Orvo::load_sim_world(sim_test::data_file("pd_arm.sdf"));
  auto imu = sensor<ImuSensor>("pd_world::pd_arm::tool::tool_imu");
  ASSERT_TRUE(imu);
  EXPECT_EQ(imu->Name(), "tool_imu");
  EXPECT_EQ(imu->Type(), "imu");
  EXPECT_EQ(imu->ParentName(), "pd_arm::tool");

  // At rest: minus gravity, identity orientation.
  world->Step(5);
  expect_vector(imu->LinearAcceleration(), {0, 0, 9.8}, 1e-9);
  expect_vector(imu->AngularVelocity(), {0, 0, 0}, 1e-12);
  EXPECT_EQ(imu->Orientation(), ignition::math::Quaterniond::Identity);

  // One step of effort from rest: tangential acceleration of the tool, 0.7 m
  // above the shoulder, is 0.7 * effort / inertia along +x.
  auto shoulder = world->ModelByName("pd_arm")->GetJoint("shoulder");
  const double alpha = 2.0 / shoulder->Inertia() / (1 + 0.001 * 0.1 / shoulder->Inertia());
  shoulder->SetForce(0, 2.0);
  world->Step();
  expect_vector(imu->LinearAcceleration(), {0.7 * alpha, 0, 9.8}, 1e-3 * alpha);
  expect_vector(imu->AngularVelocity(), {0, alpha * 0.001, 0}, 1e-9);

  // Laid along +x and turning: gravity seen along the sensor's -x, the turn about y.
  shoulder->SetPosition(0, M_PI / 2);
  shoulder->SetVelocity(0, 0.5);
  world->UpdateState();
  expect_vector(imu->LinearAcceleration(), {-9.8, 0, 0}, 1e-9);
  expect_vector(imu->AngularVelocity(), {0, 0.5, 0}, 1e-9);
  EXPECT_NEAR(imu->Orientation().Euler().Y(), M_PI / 2, 1e-9);
}

TEST(SimSensors, ForceTorqueReadsGravityLoadAndJointEffort) {
  // The arm's centre of mass is 0.5 m off the vertical axis: holding it takes a
  // torque about -y that the joint's constraint carries; about z it carries
  // only the effort.
  const std::string model = R"(<sdf version="1.7"><model name="ft_model">
    <link name="base"><inertial><mass>1</mass></inertial></link>
    <link name="arm"><inertial><pose>0.5 0 0 0 0 0</pose><mass>2</mass></inertial></link>
    <joint name="j" type="revolute"><parent>base</parent><child>arm</child>
      <axis><xyz>0 0 1</xyz></axis>
      <sensor name="ft" type="force_torque"><force_torque>
        <frame>parent</frame><measure_direction>parent_to_child</measure_direction>
      </force_torque></sensor>
    </joint></model></sdf>)";
  auto world = Orvo::load_sim_world_from_string(model, "ft model");
  auto ft = sensor<ForceTorqueSensor>("default::ft_model::j::ft");
  ASSERT_TRUE(ft);
  EXPECT_EQ(ft->ParentName(), "ft_model::j");
  expect_vector(ft->Force(), {0, 0, 19.6}, 1e-9);
  expect_vector(ft->Torque(), {0, -9.8, 0}, 1e-9);
  ft->Joint()->SetForce(0, 3.0);
  world->Step();
  expect_vector(ft->Torque(), {0, -9.8, 3.0}, 1e-3);  // the arm turned a little

  // The defaults: child frame, wrench of the child on the parent.
  world = Orvo::load_sim_world(sim_test::data_file("pd_arm.sdf"));
  ft = sensor<ForceTorqueSensor>("pd_world::pd_arm::shoulder::shoulder_ft");
  ASSERT_TRUE(ft);
  const double weight = (1 + 0.5 + 0.1) * 9.8;
  expect_vector(ft->Force(), {0, 0, -weight}, 1e-9);
  ft->Joint()->SetPosition(0, M_PI / 2);
  world->UpdateState();
  expect_vector(ft->Force(), {weight, 0, 0}, 1e-9);
}

TEST(SimSensors, WorldRemovesItsSensorsFromTheManager) {
  const auto before = SensorManager::Instance()->GetSensors().size();
  {
    auto world = Orvo::load_sim_world(sim_test::data_file("pd_arm.sdf"));
    EXPECT_EQ(SensorManager::Instance()->GetSensors().size(), before + 2);
  }
  EXPECT_EQ(SensorManager::Instance()->GetSensors().size(), before);
}
