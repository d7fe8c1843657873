#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

#include "orvo_interface/config_options.h"
#include "orvo_interface/orvo_interface.h"
#include "temp_dir.h"

namespace {

const std::string kExample = std::string(ORVO2_EXAMPLES_DIR) + "/dummy_robot/config.yaml";

// Two joints listed in an order that differs from their names' order, a
// fixed joint between them, and a continuous joint without position limits.
const char* kSmallUrdf = R"(<robot name="small">
  <link name="a"/><link name="b"/><link name="c"/><link name="d"/>
  <joint name="z_first" type="revolute"><parent link="a"/><child link="b"/>
    <limit lower="-1" upper="2" velocity="3" effort="4"/></joint>
  <joint name="m_fixed" type="fixed"><parent link="b"/><child link="c"/></joint>
  <joint name="a_wheel" type="continuous"><parent link="c"/><child link="d"/>
    <limit velocity="5" effort="6"/></joint>
</robot>)";

Orvo::ConfigOptions options_for(const OrvoTest::TempDir& dir, const std::string& urdf,
                                const std::string& joints) {
  dir.write("robot.urdf", urdf);
  return Orvo::ConfigOptions::FromConfigFile(
      dir.write("config.yaml", "robot: {urdf: robot.urdf}\njoints: {joint_dummy: " + joints + "}\n"));
}

TEST(OrvoInterface, ExampleJointsIdsAndLimits) {
  Orvo::OrvoInterface model;
  ASSERT_TRUE(model.init(Orvo::ConfigOptions::FromConfigFile(kExample)));
  const std::vector<std::string> names{"shoulder_yaw", "shoulder_pitch", "elbow_pitch",
                                       "wrist_roll",   "wrist_pitch",    "wrist_yaw"};
  EXPECT_EQ(model.getJointNames(), names);
  EXPECT_EQ(model.getJointNum(), 6);
  EXPECT_EQ(model.getConfigPath(), kExample);
  EXPECT_NE(model.getSrdfString().find("group_state"), std::string::npos);
  for (std::size_t i = 0; i < names.size(); ++i) {
    ASSERT_TRUE(model.hasJoint(names[i]));
    const auto joint = model.getJointByName(names[i]);
    EXPECT_EQ(joint->getJointName(), names[i]);
    EXPECT_EQ(joint->getJointId(), static_cast<int>(i) + 1);
  }
  const auto& elbow = model.getJointByName("elbow_pitch")->getJointLimits();
  EXPECT_DOUBLE_EQ(elbow.lower, -2.4);
  EXPECT_DOUBLE_EQ(elbow.upper, 2.4);
  EXPECT_DOUBLE_EQ(elbow.velocity, 2.5);
  EXPECT_DOUBLE_EQ(elbow.effort, 50.0);

  EXPECT_FALSE(model.hasJoint("world_fixed"));
  try {
    model.getJointByName("world_fixed");
    FAIL() << "a fixed joint was found";
  } catch (const std::out_of_range& e) {
    EXPECT_NE(std::string(e.what()).find("'world_fixed'"), std::string::npos);
  }
}

TEST(OrvoInterface, FileOrderContinuousLimitsAndJointsWithoutDevice) {
  OrvoTest::TempDir dir("model");
  Orvo::OrvoInterface model;
  ASSERT_TRUE(model.init(options_for(dir, kSmallUrdf, "[{name: z_first, id: 7}]")));
  EXPECT_EQ(model.getJointNames(), (std::vector<std::string>{"z_first", "a_wheel"}));
  EXPECT_EQ(model.getJointByName("z_first")->getJointId(), 7);
  EXPECT_EQ(model.getJointByName("a_wheel")->getJointId(), Orvo::Joint::NoDevice);
  const auto& wheel = model.getJointByName("a_wheel")->getJointLimits();
  EXPECT_TRUE(std::isinf(wheel.lower) && wheel.lower < 0);
  EXPECT_TRUE(std::isinf(wheel.upper) && wheel.upper > 0);
  EXPECT_DOUBLE_EQ(wheel.velocity, 5.0);
  EXPECT_DOUBLE_EQ(wheel.effort, 6.0);
}

TEST(OrvoInterface, RefusesBadModelsAndKeepsNoJoints) {
  OrvoTest::TempDir dir("model_bad");
  struct Case {
    std::string urdf;
    std::string joints;
  };
  const Case cases[] = {
      {"<robot name=\"broken\"><link name=\"a\"/>", "[]"},             // does not parse
      {kSmallUrdf, "[{name: not_there, id: 1}]"},                      // no such joint
      {kSmallUrdf, "[{name: m_fixed, id: 1}]"},                        // a fixed joint
      {kSmallUrdf, "[{name: z_first, id: 1}, {name: a_wheel, id: 1}]"},  // same id twice
      {kSmallUrdf, "[{name: z_first, id: -3}]"},                       // negative id
  };
  for (const Case& c : cases) {
    Orvo::OrvoInterface model;
    ASSERT_TRUE(model.init(options_for(dir, kSmallUrdf, "[]")));
    EXPECT_FALSE(model.init(options_for(dir, c.urdf, c.joints))) << c.joints;
    EXPECT_EQ(model.getJointNum(), 0) << c.joints;
    EXPECT_FALSE(model.hasJoint("z_first")) << c.joints;
  }
}

}  // namespace
