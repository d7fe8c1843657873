// The simulated example robot (examples/sim_robot) with one side killed and
// started again while the other runs: orvosim under orvocore --simtime
// (orvocore keeps running, its control plug-in gets the joints back to their
// targets on the new simulator, SIGINT still stops it in order), and orvocore
// beside orvosim (a new orvocore takes the channels of the killed one over).

#include <mqueue.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <yaml-cpp/yaml.h>

#include "orvo2/channel/shm_segment.h"
#include "child_process.h"
#include "temp_dir.h"

using namespace std::chrono_literals;
using OrvoTest::ChildProcess;
using testing::HasSubstr;
using testing::Not;

namespace {

const std::string kExample = std::string(ORVO2_EXAMPLES_DIR) + "/sim_robot";

// Removes what a killed simulator leaves behind: its four device channels and
// the clock queue.
void remove_simulator_leftovers() {
  for (const char* channel : {"joint_gz", "link_state_sensor", "imu_gz", "ft_gz"}) {
    Orvo::shm::ShmSegment::unlink(std::string("/orvo2_") + channel);
  }
  mq_unlink("/gz_to_orvo2_time");
}

struct Leftovers {
  Leftovers() { remove_simulator_leftovers(); }
  ~Leftovers() { remove_simulator_leftovers(); }
};

ChildProcess* start_simulator(std::unique_ptr<ChildProcess>& slot) {
  slot = std::make_unique<ChildProcess>(std::vector<std::string>{ORVOSIM_PATH, kExample + "/sim_arm.sdf"});
  return slot.get();
}

// The example configuration without its ROS bridge (it needs a ROS master),
// with the joint master's 1 Hz command filter on and the task "track" of the
// test plug-in in its control thread.
std::string track_config(const OrvoTest::TempDir& dir, const std::vector<std::string>& targets) {
  YAML::Node root = YAML::LoadFile(kExample + "/config.yaml");
  root["robot"]["urdf"] = kExample + "/" + root["robot"]["urdf"].as<std::string>();
  root["robot"]["srdf"] = kExample + "/" + root["robot"]["srdf"].as<std::string>();
  root["threads"].remove("ros_thread");
  YAML::Node track;
  track["plugin"] = "robust_track";
  track["params"]["targets"]["type"] = "string_list";
  for (const std::string& target : targets) track["params"]["targets"]["value"].push_back(target);
  root["threads"]["ctrl_thread"]["tasks"]["track"] = track;
  root["parameters"]["/jm/tx_filter_autostart"]["type"] = "bool";
  root["parameters"]["/jm/tx_filter_autostart"]["value"] = true;
  root["parameters"]["/jm/tx_filter_cutoff"]["type"] = "double";
  root["parameters"]["/jm/tx_filter_cutoff"]["value"] = 1.0;
  YAML::Emitter out;
  out << root;
  return dir.write("config.yaml", out.c_str());
}

// The peak link velocity the plug-in reports with "settled <episode>", or -1.
double peak_link_velocity(const std::string& output, int episode) {
  const std::string line = "robust_track: settled " + std::to_string(episode) + ", peak link velocity ";
  const size_t at = output.find(line);
  return at == std::string::npos ? -1.0 : std::strtod(output.c_str() + at + line.size(), nullptr);
}

}  // namespace

TEST(SimRestart, OrvocoreOutlivesTheSimulatorAndControlsTheJointsOfItsSuccessor) {
  Leftovers leftovers;
  OrvoTest::TempDir dir("robust_sim_restart");
  std::unique_ptr<ChildProcess> sim;
  ASSERT_TRUE(start_simulator(sim)->wait_for_output("4 plug-in(s)", 20s)) << sim->output() << sim->errors();

  ChildProcess core(
      {ORVOCORE_PATH, "--simtime", "--config", track_config(dir, {"0.8", "-0.3", "0.5", "0.2", "-0.4", "0.6"})});
  ASSERT_TRUE(core.wait_for_output("started running", 20s)) << core.output() << core.errors();
  ASSERT_TRUE(core.wait_for_output("robust_track: settled 1", 20s)) << core.output() << core.errors();

  // The simulator dies without a word: orvocore goes on.
  sim->stop(SIGKILL);
  std::this_thread::sleep_for(1500ms);
  ASSERT_TRUE(core.running()) << core.errors();

  // A new simulator starts the arm from its model again: the joints leave
  // their targets, then the plug-in brings them back, never faster than the
  // slowest joint's URDF velocity limit (shoulder_yaw goes 0.8 rad).
  const auto restarted = std::chrono::steady_clock::now();
  ASSERT_TRUE(start_simulator(sim)->wait_for_output("4 plug-in(s)", 20s)) << sim->output() << sim->errors();
  EXPECT_TRUE(core.wait_for_output("robust_track: lost 1", 10s)) << core.output() << core.errors();
  EXPECT_TRUE(core.wait_for_output("robust_track: settled 2", 20s)) << core.output() << core.errors();
  const double peak = peak_link_velocity(core.output(), 2);
  std::printf("simulator restart: joints settled again %.2f s after the start of the new simulator, peak link "
              "velocity %.3f rad/s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - restarted).count(), peak);
  EXPECT_GE(peak, 0.0) << core.output();
  EXPECT_LT(peak, 2.0) << core.output();

  // Killed once more, and orvocore is stopped while no simulator runs.
  sim->stop(SIGKILL);
  std::this_thread::sleep_for(500ms);
  ASSERT_TRUE(core.running()) << core.errors();
  const auto interrupted = std::chrono::steady_clock::now();
  core.signal(SIGINT);
  ASSERT_TRUE(core.wait_for_exit(5s)) << core.output() << core.errors();
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 2500ms);
  EXPECT_EQ(core.exit_code(), 0) << core.errors();
  EXPECT_THAT(core.output(), HasSubstr("gracefully stopping"));
  EXPECT_THAT(core.output() + core.errors(), Not(HasSubstr("safety limits exceeded")));
}

TEST(SimRestart, ASecondOrvocoreTakesOverTheChannelsOfAKilledOne) {
  Leftovers leftovers;
  OrvoTest::TempDir dir("robust_core_restart");
  std::unique_ptr<ChildProcess> sim;
  ASSERT_TRUE(start_simulator(sim)->wait_for_output("4 plug-in(s)", 20s)) << sim->output() << sim->errors();

  const std::vector<std::string> first_targets(6, "0.3");
  auto first = std::make_unique<ChildProcess>(
      std::vector<std::string>{ORVOCORE_PATH, "--simtime", "--config", track_config(dir, first_targets)});
  ASSERT_TRUE(first->wait_for_output("robust_track: settled 1", 20s)) << first->output() << first->errors();
  // Killed without a chance to give the channels up.
  first->stop(SIGKILL);

  OrvoTest::TempDir second_dir("robust_core_restart_second");
  const std::vector<std::string> second_targets(6, "-0.2");
  ChildProcess second({ORVOCORE_PATH, "--simtime", "--config", track_config(second_dir, second_targets)});
  ASSERT_TRUE(second.wait_for_output("robust_track: settled 1", 20s)) << second.output() << second.errors();
  EXPECT_THAT(second.output(), Not(HasSubstr("already has a client")));
  second.signal(SIGINT);
  ASSERT_TRUE(second.wait_for_exit(5s));
  EXPECT_EQ(second.exit_code(), 0) << second.errors();
  EXPECT_TRUE(sim->running()) << sim->errors();
}
