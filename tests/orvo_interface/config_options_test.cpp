#include <gtest/gtest.h>

#include <stdexcept>

#include "orvo_interface/config_options.h"
#include "temp_dir.h"

namespace {

const std::string kExample = std::string(ORVO2_EXAMPLES_DIR) + "/dummy_robot/config.yaml";

std::string error_of(const std::string& path) {
  try {
    Orvo::ConfigOptions::FromConfigFile(path);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no error";
}

TEST(ConfigOptions, ReadsTheExampleRobot) {
  const auto options = Orvo::ConfigOptions::FromConfigFile(kExample);
  EXPECT_EQ(options.get_path(), kExample);
  EXPECT_NE(options.get_urdf().find("<robot name=\"dummy_arm\">"), std::string::npos);
  EXPECT_NE(options.get_srdf().find("<group name=\"arm\">"), std::string::npos);
  EXPECT_EQ(options.get_urdf_path(), std::string(ORVO2_EXAMPLES_DIR) + "/dummy_robot/dummy_arm.urdf");
  const std::map<std::string, int> ids{{"shoulder_yaw", 1}, {"shoulder_pitch", 2}, {"elbow_pitch", 3},
                                       {"wrist_roll", 4},   {"wrist_pitch", 5},    {"wrist_yaw", 6}};
  EXPECT_EQ(options.get_joint_ids(), ids);
}

TEST(ConfigOptions, ResolvesModelFilesAgainstTheConfigurationFolder) {
  OrvoTest::TempDir dir("options");
  dir.write("model/arm.urdf", "<robot name=\"a\"/>");
  const std::string absolute = dir.write("abs.srdf", "<robot name=\"s\"/>");
  const std::string config =
      dir.write("cfg/robot.yaml", "robot:\n  urdf: ../model/arm.urdf\n  srdf: " + absolute + "\n");
  const auto options = Orvo::ConfigOptions::FromConfigFile(config);
  EXPECT_EQ(options.get_urdf(), "<robot name=\"a\"/>");
  EXPECT_EQ(options.get_urdf_path(), dir.path() + "/model/arm.urdf");
  EXPECT_EQ(options.get_srdf(), "<robot name=\"s\"/>");
  EXPECT_TRUE(options.get_joint_ids().empty());

  // The SRDF may be left out.
  const auto no_srdf = Orvo::ConfigOptions::FromConfigFile(
      dir.write("cfg/no_srdf.yaml", "robot: {urdf: ../model/arm.urdf}\n"));
  EXPECT_TRUE(no_srdf.get_srdf().empty());
}

TEST(ConfigOptions, BadFilesNameTheFileAndTheKey) {
  OrvoTest::TempDir dir("options_bad");
  dir.write("arm.urdf", "<robot name=\"a\"/>");
  struct Case {
    std::string text;
    std::string expected;
  };
  const Case cases[] = {
      {"robot: {urdf: arm.urdf\n", "line "},
      {"- a\n- b\n", "expected a map at the top level"},
      {"threads: {}\n", "robot: expected a map"},
      {"robot: {srdf: arm.urdf}\n", "robot/urdf: expected a file name"},
      {"robot: {urdf: missing.urdf}\n", "robot/urdf: cannot read '" + dir.path() + "/missing.urdf'"},
      {"robot: {urdf: arm.urdf, srdf: [a]}\n", "robot/srdf: expected a file name"},
      {"robot: {urdf: arm.urdf}\njoints: [a]\n", "joints: expected a map"},
      {"robot: {urdf: arm.urdf}\njoints: {joint_dummy: {name: a}}\n",
       "joints/joint_dummy: expected a list of devices"},
      {"robot: {urdf: arm.urdf}\njoints: {joint_dummy: [{name: a, id: one}]}\n",
       "joints/joint_dummy[0]/id: expected an integer, got 'one'"},
      {"robot: {urdf: arm.urdf}\njoints: {joint_dummy: [{name: a, id: 1}], joint_gz: [{name: a, id: 2}]}\n",
       "joints/joint_gz[0]/name: joint 'a' is configured twice"},
  };
  int index = 0;
  for (const Case& c : cases) {
    const std::string file = dir.write("case" + std::to_string(index++) + ".yaml", c.text);
    const std::string error = error_of(file);
    EXPECT_EQ(error.rfind(file + ": ", 0), 0u) << error;
    EXPECT_NE(error.find(c.expected), std::string::npos) << c.text << " gave: " << error;
  }
  EXPECT_NE(error_of(dir.path() + "/absent.yaml").find("absent.yaml: cannot open"), std::string::npos);
  EXPECT_NE(error_of("").find("path is empty"), std::string::npos);
}

TEST(ConfigOptions, ParametersAreReplacedAndTyped) {
  Orvo::ConfigOptions options;
  std::string text;
  EXPECT_FALSE(options.get_parameter("framework", text));
  EXPECT_TRUE(options.set_parameter("framework", std::string("Sim")));
  EXPECT_TRUE(options.set_parameter("framework", std::string("Orvo2Rt")));
  ASSERT_TRUE(options.get_parameter("framework", text));
  EXPECT_EQ(text, "Orvo2Rt");

  // A value of another type replaces the old one; reading it as text then fails.
  EXPECT_TRUE(options.set_parameter("framework", 3));
  text = "untouched";
  EXPECT_FALSE(options.get_parameter("framework", text));
  EXPECT_EQ(text, "untouched");
  int number = 0;
  ASSERT_TRUE(options.get_parameter("framework", number));
  EXPECT_EQ(number, 3);

  // Copies keep their own parameters.
  Orvo::ConfigOptions copy = options;
  copy.set_parameter("framework", 4);
  ASSERT_TRUE(options.get_parameter("framework", number));
  EXPECT_EQ(number, 3);
}

}  // namespace
