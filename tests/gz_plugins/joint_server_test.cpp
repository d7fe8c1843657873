// The joint server inside the simulator stand-in, with the test as the robot
// end of the "joint_gz" channel: discovery, the torque law to the last bit,
// the echo of the command record, gains and profiles with their messages.

#include <cmath>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <gazebo/common/Events.hh>

#include "gz_test_models.h"
#include "gz_test_support.h"

using gz_test::ConsoleCapture;
using gz_test::JointPeer;
using gz_test::RobotEnd;
using gz_test::SimWorld;
using gz_test::TableEntry;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

namespace {

int occurrences(const std::string& text, const std::string& part) {
  int n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace

TEST(GzJointServer, ServesTheNonFixedJointsInModelOrderUntilUnloaded) {
  ConsoleCapture log(gazebo::common::Console::log, &std::cout);
  auto sim = std::make_unique<SimWorld>(gz_test::chain_model(
      {{"a", "revolute"}, {"f", "fixed"}, {"b", "revolute"}, {"s", "prismatic"}}, gz_test::plugin("joint_server")));

  // A skipped joint consumes no id.
  EXPECT_THAT(gz_test::channel_table("joint_gz"),
              ElementsAre(TableEntry{"a", "joint_gz", 0}, TableEntry{"b", "joint_gz", 1},
                          TableEntry{"s", "joint_gz", 2}));
  EXPECT_THAT(log.text(), HasSubstr("found joint 'a' \n"));
  EXPECT_THAT(log.text(), HasSubstr("found joint 'b' \n"));
  EXPECT_THAT(log.text(), HasSubstr("found joint 's' \n"));
  EXPECT_THAT(log.text(), Not(HasSubstr("'f'")));
  EXPECT_THAT(log.text(), Not(HasSubstr("'root'")));

  // Before any command: the initial gains are echoed, every reference is 0.
  RobotEnd<JointPeer> robot("joint_gz", {"s", "a"});
  ASSERT_TRUE(robot.client->check_server_alive());
  sim->world->Step();
  ASSERT_TRUE(robot.client->recv());
  EXPECT_EQ(robot[0].rx().stiffness, 100.0f);
  EXPECT_EQ(robot[0].rx().damping, 5.0f);
  EXPECT_EQ(robot[1].rx().pos_ref, 0.0f);

  // Unloading closes the channel and unregisters the world-update callback.
  EXPECT_EQ(gazebo::event::Events::worldUpdateBegin.ConnectionCount(), 1u);
  sim->plugins.reset();
  EXPECT_FALSE(gz_test::channel_exists("joint_gz"));
  EXPECT_EQ(gazebo::event::Events::worldUpdateBegin.ConnectionCount(), 0u);
  sim->world->Step();  // no callback left to call
}

TEST(GzJointServer, TorqueLawTakesTheErrorsInSinglePrecisionAndActsInTheSameUpdate) {
  SimWorld sim(gz_test::chain_model({{"a", "revolute"}, {"b", "revolute"}, {"c", "revolute"}},
                                    gz_test::plugin("joint_server")));
  auto a = sim.joint("chain", "a");
  auto b = sim.joint("chain", "b");
  auto c = sim.joint("chain", "c");
  a->SetPosition(0, 0.3);
  b->SetPosition(0, 0.1);
  c->SetPosition(0, 0.3);
  c->SetVelocity(0, 0.5);

  // b gets no command: it keeps its initial gains and its zero references.
  RobotEnd<JointPeer> robot("joint_gz", {"a", "c"});
  ASSERT_TRUE(robot.client->check_server_alive());
  Orvo::Hal::joint_tx& cmd_a = robot[0].tx();
  cmd_a.pos_ref = 0.1f;
  cmd_a.stiffness = 100.0f;
  cmd_a.damping = 0.0f;
  cmd_a.mask = 0;  // the mask is not read: every field acts
  Orvo::Hal::joint_tx& cmd_c = robot[1].tx();
  cmd_c.pos_ref = 0.1f;
  cmd_c.vel_ref = 0.25f;
  cmd_c.tor_ref = 1.5f;
  cmd_c.stiffness = 100.0f;
  cmd_c.damping = 2.0f;
  cmd_c.mask = Orvo::Hal::joint_tx::POS_REF;
  ASSERT_TRUE(robot.client->send());

  sim.world->Step();
  const double a_after_first = a->Position(0);
  // 0.3f - 0.1f is 0.20000001788139343 in single precision, not 0.2.
  EXPECT_EQ(a->GetForce(0), -20.000001788139343);
  EXPECT_EQ(b->GetForce(0), -10.000000149011612);
  EXPECT_EQ(c->GetForce(0), -20.000001788139343 - 0.25 * 2.0 + 1.5);

  // The rx record of that update holds the state sensed before the command
  // arrived, and the command record as it was then (the initial one).
  ASSERT_TRUE(robot.client->recv());
  const Orvo::Hal::joint_rx first = robot[0].rx();
  EXPECT_EQ(first.link_pos, 0.3f);
  EXPECT_EQ(first.motor_pos, 0.3f);
  EXPECT_EQ(first.tor, 0.0f);
  EXPECT_EQ(first.pos_ref, 0.0f);
  EXPECT_EQ(first.stiffness, 100.0f);
  EXPECT_EQ(first.damping, 5.0f);
  EXPECT_EQ(robot[1].rx().link_vel, 0.5f);
  EXPECT_EQ(robot[1].rx().motor_vel, 0.5f);

  // One update later the echo shows the command, and the effort applied.
  sim.world->Step();
  ASSERT_TRUE(robot.client->recv());
  const Orvo::Hal::joint_rx second = robot[0].rx();
  EXPECT_EQ(second.pos_ref, 0.1f);
  EXPECT_EQ(second.stiffness, 100.0f);
  EXPECT_EQ(second.damping, 0.0f);
  EXPECT_EQ(second.tor, static_cast<float>(-20.000001788139343));
  EXPECT_EQ(robot[1].rx().vel_ref, 0.25f);
  EXPECT_EQ(robot[1].rx().tor_ref, 1.5f);
  EXPECT_EQ(second.link_pos, static_cast<float>(a_after_first)) << "sensed before the dynamics of its update";
  EXPECT_NE(second.link_pos, 0.3f) << "the joint moved in the first update";
  EXPECT_EQ(second.temp, 0.0f);
}

TEST(GzJointServer, GainsComeFromThePidElementInDocumentOrder) {
  const std::string pid = R"(<pid>
      <gain name="stiff" p="300" d="20"/>
      <gain name="a" profile="stiff" p="1" d="2"/>
      <gain name="b" profile="late"/>
      <gain name="late" p="7" d="8"/>
      <gain name="c" p="0.1"/>
      <gain name="zero"/>
      <gain name="d" profile="zero"/>
      <gain name="f" p="11" d="12"/>
      <gain name="e" profile="f"/>
      <other p="3" d="4"/>
      <gain name="g" p="1" d="1"/>
      <gain name="g" p="2.5" d="0.25"/>
      <gain name="stiff" p="1" d="1"/>
    </pid>)";
  ConsoleCapture log(gazebo::common::Console::log, &std::cout);
  ConsoleCapture err(gazebo::common::Console::err, &std::cerr);
  SimWorld sim(gz_test::chain_model({{"a", "revolute"},
                                     {"b", "revolute"},
                                     {"c", "revolute"},
                                     {"d", "revolute"},
                                     {"f", "fixed"},
                                     {"e", "revolute"},
                                     {"g", "revolute"}},
                                    gz_test::plugin("joint_server", pid)));

  RobotEnd<JointPeer> robot("joint_gz", {"a", "b", "c", "d", "e", "g"});
  ASSERT_TRUE(robot.client->check_server_alive());
  sim.world->Step();
  ASSERT_TRUE(robot.client->recv());
  auto gains = [&](std::size_t i) { return std::make_pair(robot[i].rx().stiffness, robot[i].rx().damping); };
  EXPECT_EQ(gains(0), std::make_pair(300.0f, 20.0f)) << "a defined profile wins over the element's own gains";
  EXPECT_EQ(gains(1), std::make_pair(100.0f, 5.0f)) << "a profile defined further down does not reach back";
  EXPECT_EQ(gains(2), std::make_pair(0.1f, 0.0f)) << "a missing gain is 0";
  EXPECT_EQ(gains(3), std::make_pair(0.0f, 0.0f)) << "a profile defined without gains holds (0, 0)";
  EXPECT_EQ(gains(4), std::make_pair(11.0f, 12.0f)) << "a fixed joint's name defines a profile";
  EXPECT_EQ(gains(5), std::make_pair(2.5f, 0.25f)) << "the last element of a joint wins";

  const std::string errors = err.text();
  EXPECT_THAT(errors, HasSubstr("profile 'late' for joint 'b' is undefined \n"));
  EXPECT_THAT(errors, HasSubstr("joint 'c': 'd' attribute missing \n"));
  EXPECT_THAT(errors, HasSubstr("joint 'zero': 'p' attribute missing \n"));
  EXPECT_THAT(errors, HasSubstr("joint 'zero': 'd' attribute missing \n"));
  EXPECT_EQ(occurrences(errors, "[Err]"), 4) << errors;

  const std::string logged = log.text();
  EXPECT_THAT(logged, HasSubstr("set gains for 'a' to p = 300, d = 20 \n"));
  EXPECT_THAT(logged, HasSubstr("set gains for 'c' to p = 0.1, d = 0 \n"));
  EXPECT_THAT(logged, HasSubstr("set gains for 'd' to p = 0, d = 0 \n"));
  EXPECT_THAT(logged, HasSubstr("set gains for 'e' to p = 11, d = 12 \n"));
  EXPECT_THAT(logged, HasSubstr("set gains for 'g' to p = 1, d = 1 \n"));
  EXPECT_THAT(logged, HasSubstr("set gains for 'g' to p = 2.5, d = 0.25 \n"));
  EXPECT_EQ(occurrences(logged, "set gains"), 6) << logged;

  // A command record replaces the gains whole; the next update uses it.
  robot[0].tx().stiffness = 50.0f;
  robot[0].tx().damping = 1.0f;
  ASSERT_TRUE(robot.client->send());
  sim.world->Step(2);
  ASSERT_TRUE(robot.client->recv());
  EXPECT_EQ(gains(0), std::make_pair(50.0f, 1.0f));
}
