// Joint dynamics, kinematics and the world-update event of the simulated world.

#include <cmath>
#include <stdexcept>

#include <gtest/gtest.h>

#include <gazebo/common/Events.hh>
#include <gazebo/physics/physics.hh>

#include "allocation_counter.h"
#include "orvo2/sim/world_loader.h"
#include "sim_test_models.h"

using gazebo::physics::Base;
using gazebo::physics::JointPtr;
using gazebo::physics::WorldPtr;

namespace {

WorldPtr load(const std::string& text) {
  return Orvo::load_sim_world_from_string(text, "test model");
}

void run(const WorldPtr& world, const JointPtr& joint, double effort, double seconds) {
  const int steps = static_cast<int>(std::lround(seconds / world->StepSize()));
  for (int i = 0; i < steps; ++i) {
    joint->SetForce(0, effort);
    world->Step();
  }
}

}  // namespace

TEST(SimDynamics, DampedJointUnderConstantEffortApproachesEffortOverDamping) {
  // Revolute: inertia 0.5 kg m^2 about z; prismatic: mass 2 kg. Damping 2 gives
  // time constants of 0.25 s and 1 s and a terminal velocity of effort / 2.
  struct Case {
    const char* type;
    double time_constant;
  };
  for (const Case& c : {Case{"revolute", 0.25}, Case{"prismatic", 1.0}}) {
    SCOPED_TRACE(c.type);
    WorldPtr world = load(sim_test::one_joint_model(c.type, "<dynamics><damping>2</damping></dynamics>"));
    JointPtr joint = world->ModelByName("one_joint")->GetJoint("j");
    ASSERT_TRUE(joint);
    run(world, joint, 1.0, c.time_constant);
    EXPECT_NEAR(joint->GetVelocity(0), 0.5 * (1 - std::exp(-1.0)), 0.005);
    run(world, joint, 1.0, 10 * c.time_constant);
    EXPECT_NEAR(joint->GetVelocity(0), 0.5, 1e-4);
    EXPECT_DOUBLE_EQ(joint->GetForce(0), 1.0);
    EXPECT_GT(joint->Position(0), 0.0);
    EXPECT_EQ(world->Iterations(), 11 * std::lround(c.time_constant / world->StepSize()));
  }
}

TEST(SimDynamics, FixedJointsNeverMove) {
  WorldPtr world = gazebo::physics::WorldPtr(Orvo::load_sim_world(sim_test::data_file("pd_arm.sdf")));
  auto model = world->ModelByName("pd_arm");
  JointPtr fixed = model->GetJoint("tool_fixed");
  ASSERT_TRUE(fixed->HasType(Base::FIXED_JOINT));
  EXPECT_EQ(fixed->DOF(), 0u);
  const auto tool_before = model->GetLink("tool")->WorldPose();
  run(world, fixed, 50.0, 0.5);
  EXPECT_EQ(fixed->Position(0), 0.0);
  EXPECT_EQ(fixed->GetVelocity(0), 0.0);
  EXPECT_EQ(fixed->GetForce(0), 0.0);
  EXPECT_FALSE(fixed->SetPosition(0, 1.0));
  EXPECT_EQ(model->GetLink("tool")->WorldPose(), tool_before);
  // The base on a fixed joint to the world stays put as well.
  EXPECT_EQ(model->GetLink("base")->WorldPose(), ignition::math::Pose3d::Zero);
}

TEST(SimDynamics, PositionLimitsStopTheJoint) {
  WorldPtr world = load(sim_test::one_joint_model(
      "revolute", "<limit><lower>-0.5</lower><upper>0.25</upper></limit>"));
  JointPtr joint = world->ModelByName("one_joint")->GetJoint("j");
  run(world, joint, 5.0, 2.0);
  EXPECT_DOUBLE_EQ(joint->Position(0), 0.25);
  EXPECT_EQ(joint->GetVelocity(0), 0.0);
  run(world, joint, -5.0, 2.0);
  EXPECT_DOUBLE_EQ(joint->Position(0), -0.5);
  // Leaving the limit is free.
  run(world, joint, 5.0, 0.1);
  EXPECT_GT(joint->Position(0), -0.5);
  EXPECT_TRUE(joint->SetPosition(0, 3.0));
  EXPECT_DOUBLE_EQ(joint->Position(0), 0.25);
}

TEST(SimDynamics, FrictionHoldsUntilOvercomeAndEffortLimitClamps) {
  WorldPtr world = load(sim_test::one_joint_model(
      "revolute", "<dynamics><damping>1</damping><friction>1</friction></dynamics>"
                  "<limit><effort>3</effort></limit>"));
  JointPtr joint = world->ModelByName("one_joint")->GetJoint("j");
  run(world, joint, 0.9, 1.0);
  EXPECT_EQ(joint->Position(0), 0.0);
  run(world, joint, 1.5, 5.0);
  EXPECT_NEAR(joint->GetVelocity(0), 0.5, 1e-3);  // (1.5 - 1) / 1
  run(world, joint, 0.0, 2.0);
  EXPECT_EQ(joint->GetVelocity(0), 0.0);  // friction stops it and does not reverse it
  run(world, joint, 10.0, 0.01);
  EXPECT_DOUBLE_EQ(joint->GetForce(0), 3.0);
}

TEST(SimDynamics, LinkPosesAndVelocitiesFollowTheJointChain) {
  WorldPtr world = Orvo::load_sim_world(sim_test::data_file("pd_arm.sdf"));
  auto model = world->ModelByName("pd_arm");
  JointPtr shoulder = model->GetJoint("shoulder");
  JointPtr elbow = model->GetJoint("elbow");
  auto tool = model->GetLink("tool");
  EXPECT_NEAR(tool->WorldPose().Pos().Z(), 0.8, 1e-12);

  // Shoulder (at z 0.1) turned by +90 degrees about y lays the arm along +x.
  shoulder->SetPosition(0, M_PI / 2);
  shoulder->SetVelocity(0, 1.0);
  world->UpdateState();
  const double tol = 1e-9;
  EXPECT_NEAR(tool->WorldPose().Pos().X(), 0.7, tol);
  EXPECT_NEAR(tool->WorldPose().Pos().Z(), 0.1, tol);
  EXPECT_NEAR(model->GetLink("fore")->WorldPose().Pos().X(), 0.4, tol);
  EXPECT_NEAR(tool->WorldAngularVel().Y(), 1.0, tol);
  EXPECT_NEAR(tool->WorldLinearVel().Z(), -0.7, tol);  // (0, 1, 0) x (0.7, 0, 0)
  EXPECT_NEAR(shoulder->GlobalAxis(0).Y(), 1.0, tol);

  // The elbow folded back by -90 degrees points the forearm up again.
  elbow->SetPosition(0, -M_PI / 2);
  shoulder->SetVelocity(0, 0.0);
  world->UpdateState();
  EXPECT_NEAR(tool->WorldPose().Pos().X(), 0.4, tol);
  EXPECT_NEAR(tool->WorldPose().Pos().Z(), 0.4, tol);
  EXPECT_NEAR(tool->WorldPose().Rot().W(), 1.0, tol);
}

TEST(SimWorldEvent, ConnectionsLastWhileHeldAndCallbacksAreIsolated) {
  auto& event = gazebo::event::Events::worldUpdateBegin;
  WorldPtr world = load(sim_test::one_joint_model("revolute", ""));
  int first = 0, second = 0, late = 0;
  bool late_made = false;
  gazebo::event::ConnectionPtr late_connection;
  gazebo::event::ConnectionPtr c1 = event.Connect([&](const gazebo::common::UpdateInfo&) {
    if (++first == 1) throw std::runtime_error("failing callback");
  });
  gazebo::event::ConnectionPtr c2 = gazebo::event::Events::ConnectWorldUpdateBegin(
      [&](const gazebo::common::UpdateInfo& info) {
        EXPECT_EQ(info.worldName, "default");
        EXPECT_EQ(info.simTime.Nanoseconds(), second * 1000000);
        ++second;
        if (late_made) return;
        late_made = true;  // connected while firing: called from the next step on
        late_connection = event.Connect([&](const gazebo::common::UpdateInfo&) { ++late; });
      });
  EXPECT_EQ(event.ConnectionCount(), 2u);
  world->Step(3);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(second, 3);
  EXPECT_EQ(late, 2);
  c1.reset();
  late_connection.reset();
  world->Step(2);
  EXPECT_EQ(first, 3);
  EXPECT_EQ(second, 5);
  EXPECT_EQ(late, 2);
  c2.reset();
  EXPECT_EQ(event.ConnectionCount(), 0u);
}

TEST(SimDynamics, SteppingAllocatesNothing) {
  const long at_start = sim_test::allocations();
  WorldPtr world = Orvo::load_sim_world(sim_test::data_file("pd_arm.sdf"));  // with an IMU and a force-torque sensor
  const auto joints = world->ModelByName("pd_arm")->GetJoints();
  auto connection = gazebo::event::Events::ConnectWorldUpdateBegin(
      [&joints](const gazebo::common::UpdateInfo&) {
        for (const JointPtr& joint : joints) joint->SetForce(0, -10 * joint->Position(0) + 1);
      });
  ASSERT_GT(sim_test::allocations(), at_start);  // the counter sees the library's allocations
  world->Step(10);
  const long before = sim_test::allocations();
  world->Step(1000);
  EXPECT_EQ(sim_test::allocations() - before, 0);
}
