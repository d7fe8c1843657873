// orvocore as a user runs it: options, start-up, SIGINT and bad input.
#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "child_process.h"
#include "dummy_arm.h"
#include "temp_dir.h"

using namespace std::chrono_literals;
using OrvoTest::ChildProcess;
using OrvoTest::TempDir;
using OrvoTest::WorkerThread;

namespace {

// The example arm's first two joints.
OrvoTest::RobotConfig two_joints() { return OrvoTest::dummy_arm_config(ORVO2_EXAMPLES_DIR "/dummy_robot/", 2); }

const WorkerThread idle = WorkerThread("idle", "10ms");

TEST(Launcher, VersionHelpAndBadOptions) {
  ChildProcess version({ORVOCORE_PATH, "--version"});
  ASSERT_TRUE(version.wait_for_exit(5s));
  EXPECT_EQ(version.exit_code(), 0);
  EXPECT_NE(version.output().find("version: 2.0.0"), std::string::npos) << version.output();

  ChildProcess help({ORVOCORE_PATH, "--help"});
  ASSERT_TRUE(help.wait_for_exit(5s));
  EXPECT_EQ(help.exit_code(), 0);
  for (const char* text :
       {"-V,  --verbose", "Print additional output", "-S,  --simtime", "Synchronize with simulation time",
        "-C <filepath>,  --config <filepath>", "Path to the orvo2 yaml configuration file", "--,  --ignore_rest",
        "--version", "-h,  --help"}) {
    EXPECT_NE(help.output().find(text), std::string::npos) << text;
  }

  ChildProcess bad({ORVOCORE_PATH, "--no-such-option"});
  ASSERT_TRUE(bad.wait_for_exit(5s));
  EXPECT_EQ(bad.exit_code(), 1);
  EXPECT_NE((bad.output() + bad.errors()).find("PARSE ERROR"), std::string::npos);
  EXPECT_EQ(bad.output().find("started running"), std::string::npos);

  ChildProcess no_config({ORVOCORE_PATH});
  ASSERT_TRUE(no_config.wait_for_exit(5s));
  EXPECT_EQ(no_config.exit_code(), 1);
  // Not verbose: the robot-model library's warning still prints.
  EXPECT_NE(no_config.output().find("WARNING in getOrvoConfig : ORVO_CONFIG env variable not set."),
            std::string::npos)
      << no_config.output();
  for (const char* way : {"--config FILE", "ORVO_CONFIG"}) {
    EXPECT_NE(no_config.errors().find(way), std::string::npos) << no_config.errors();
  }
}

TEST(Launcher, RunsUntilSigintThenStopsInOrderWithinASecond) {
  TempDir dir("launcher_run");
  // A thread asleep in a long period does not hold the stop up.
  const std::string config =
      two_joints()
          .thread(WorkerThread("hal_thread", "1ms")
                      .fifo(60)
                      .devices({"joint_dummy"})
                      .task("probe", "test_plugin", {{"gain", "double", "0.5"}}))
          .thread(WorkerThread("slow_thread", "5s"))
          .write(dir);
  ChildProcess launcher({ORVOCORE_PATH, "--config", config});
  ASSERT_TRUE(launcher.wait_for_output("started running", 10s)) << launcher.output() << launcher.errors();
  // The plug-in got its robot interface from the real-time back end.
  EXPECT_EQ(launcher.output().find("gets no robot interface"), std::string::npos) << launcher.output();
  std::this_thread::sleep_for(200ms);

  const auto interrupted = std::chrono::steady_clock::now();
  launcher.signal(SIGINT);
  ASSERT_TRUE(launcher.wait_for_exit(3s));
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 1500ms);
  EXPECT_EQ(launcher.exit_code(), 0) << launcher.errors();
  const std::string output = launcher.output();
  EXPECT_NE(output.find("gracefully stopping"), std::string::npos) << output;
  EXPECT_LT(output.find("started running"), output.find("gracefully stopping"));
  EXPECT_EQ(launcher.errors(), "");
}

TEST(Launcher, ConfigurationPathFromTheFirst299CharactersOfOrvoConfig) {
  TempDir dir("launcher_env");
  // A folder deep enough for the configuration's path to be 299 characters.
  std::string folder;
  auto path_length = [&] { return dir.path().size() + 1 + folder.size() + 1 + std::string("config.yaml").size(); };
  while (path_length() < 299) {
    const size_t missing = 299 - path_length();
    folder += (folder.empty() ? "" : "/") + std::string(std::min<size_t>(missing - (folder.empty() ? 0 : 1), 100), 'd');
  }
  ASSERT_EQ(path_length(), 299u);
  const std::string config = two_joints().thread(idle).write(dir, folder);
  ASSERT_EQ(config.size(), 299u);
  const std::string pointer = dir.write("orvo_config", config + std::string(101, 'x') + "\nsecond line\n");

  ChildProcess launcher({ORVOCORE_PATH, "--verbose"}, {{"ORVO_CONFIG", pointer}});
  ASSERT_TRUE(launcher.wait_for_output("started running", 10s)) << launcher.output() << launcher.errors();
  // Verbose: the robot-model library's debug lines print.
  EXPECT_NE(launcher.output().find("$ORVO_CONFIG -> " + pointer + "\n"), std::string::npos) << launcher.output();
  EXPECT_NE(launcher.output().find("getOrvoConfig -> " + config + "\n"), std::string::npos) << launcher.output();
  launcher.signal(SIGINT);
  ASSERT_TRUE(launcher.wait_for_exit(3s));
  EXPECT_EQ(launcher.exit_code(), 0);
}

TEST(Launcher, BadConfigurationsEndWithAMessageAndStatusOne) {
  TempDir dir("launcher_bad");
  struct Case {
    std::string name;
    std::string config;
    std::string message;
  };
  // A device type with no library behind it.
  const std::string unknown_device = two_joints()
                                         .device("imu_nowhere", "base_imu", 20)
                                         .thread(WorkerThread("hal", "1ms").devices({"imu_nowhere"}))
                                         .write(dir, "unknown_device");
  // A URDF nested deeper than any robot, and robot files that are devices.
  const std::string deep_urdf = two_joints().thread(idle).write(dir, "deep");
  std::string deep = "<robot name='deep'><link name='base'>";
  for (int level = 0; level < 50000; ++level) {
    deep += "<visual>";
  }
  dir.write("deep/dummy_arm.urdf", deep);
  const std::string devices = "joints: {joint_dummy: [{name: shoulder_yaw, id: 1}]}\nthreads: {}\n";
  // A joint-master option of the wrong type.
  const std::string master_option = two_joints()
                                        .device("joint_master", "all_joints", 100)
                                        .thread(WorkerThread("hal", "1ms").devices({"joint_dummy", "joint_master"}))
                                        .parameter({"/jm/tx_filter_cutoff", "int", "5"})
                                        .write(dir, "master_option");
  const Case cases[] = {
      {"missing file", dir.path() + "/absent.yaml", "absent.yaml"},
      {"URDF read from a device",
       dir.write("zero_urdf.yaml", "robot: {urdf: /dev/zero}\n" + devices),
       "robot/urdf: '/dev/zero' is larger than 16777216 bytes: not a robot description"},
      {"SRDF read from a device",
       dir.write("random_srdf.yaml",
                 "robot: {urdf: " + std::string(ORVO2_EXAMPLES_DIR) +
                     "/dummy_robot/dummy_arm.urdf, srdf: /dev/urandom}\n" + devices),
       "robot/srdf: '/dev/urandom' is larger than 16777216 bytes"},
      {"URDF nested 50,000 levels", deep_urdf, "nests elements more than 256 levels deep"},
      {"joint-master option of the wrong type", master_option,
       "parameter '/jm/tx_filter_cutoff' holds a value of type 'int', expected 'double'"},
      {"malformed YAML", dir.write("malformed.yaml", "robot: {urdf: [\n"), "malformed.yaml"},
      {"unknown device type", unknown_device, "liborvodev_imu_nowhere.so"},
      {"unknown plug-in",
       two_joints().thread(WorkerThread("ctrl", "1ms").task("t", "nowhere")).write(dir, "unknown_plugin"),
       "unable to load plug-in 'nowhere' for task 't'"},
      // A name that ROS would refuse for the task's services.
      {"task name ROS refuses",
       two_joints().thread(WorkerThread("ctrl", "1ms").task("2ctl", "test_plugin")).write(dir, "digit_task"),
       "threads/ctrl/tasks/2ctl: task name '2ctl' does not start with a letter"},
  };
  for (const Case& bad : cases) {
    ChildProcess launcher({ORVOCORE_PATH, "-C", bad.config});
    ASSERT_TRUE(launcher.wait_for_exit(10s)) << bad.name;
    EXPECT_EQ(launcher.exit_code(), 1) << bad.name;
    const std::string errors = launcher.errors();
    EXPECT_EQ(errors.rfind("orvocore: ", 0), 0u) << bad.name << ": " << errors;
    EXPECT_NE(errors.find(bad.message), std::string::npos) << bad.name << ": " << errors;
    EXPECT_EQ(launcher.output().find("started running"), std::string::npos) << bad.name;
  }
}

}  // namespace
