// SIGINT at any moment of orvocore's start-up: before "started running" the
// default action ends the process (no handler is installed yet), afterwards
// the orderly stop runs; either way the process ends at once, never hangs
// and never ends any other way.

#include <mqueue.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "child_process.h"
#include "dummy_arm.h"
#include "temp_dir.h"

using namespace std::chrono_literals;
using OrvoTest::ChildProcess;
using OrvoTest::TempDir;

namespace {

// The example arm's first two joints behind the joint master, without the
// ROS threads of the example (they would wait for a ROS master).
std::string write_robot(const TempDir& dir) {
  return OrvoTest::dummy_arm_config(ORVO2_EXAMPLES_DIR "/dummy_robot/", 2)
      .device("joint_master", "all_joints", 100)
      .thread(OrvoTest::WorkerThread("hal_thread", "1ms").fifo(60).devices({"joint_dummy", "joint_master"}))
      .write(dir);
}

// Interrupts orvocore `delay` after it was started; true when it then ended
// within 3 s, by SIGINT before start-up was over or with status 0 after it.
// `started` tells which.
::testing::AssertionResult interrupt_after(std::chrono::milliseconds delay, const std::vector<std::string>& args,
                                           bool& started) {
  std::vector<std::string> command{ORVOCORE_PATH};
  command.insert(command.end(), args.begin(), args.end());
  ChildProcess launcher(command);
  std::this_thread::sleep_for(delay);
  launcher.signal(SIGINT);
  if (!launcher.wait_for_exit(3s)) {
    return ::testing::AssertionFailure() << "no end within 3 s of SIGINT; output: " << launcher.output();
  }
  const std::string output = launcher.output();
  started = output.find("gracefully stopping") != std::string::npos;
  if (launcher.killed_by(SIGINT) && !started) {
    return ::testing::AssertionSuccess();
  }
  if (launcher.exit_code() == 0 && started && launcher.errors().empty()) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "ended otherwise; output: " << output << " errors: " << launcher.errors();
}

}  // namespace

TEST(StartUpSigint, EndsTheProcessAtEveryMomentOfStartUp) {
  TempDir dir("robust_start_up");
  const std::string config = write_robot(dir);
  int interrupted_early = 0;
  int stopped_in_order = 0;
  for (int delay_ms : {0, 1, 2, 5, 10, 20, 35, 50, 75, 100, 150, 250, 400, 600, 1000}) {
    bool started = false;
    EXPECT_TRUE(interrupt_after(std::chrono::milliseconds(delay_ms), {"--config", config}, started))
        << "SIGINT " << delay_ms << " ms after the start";
    (started ? stopped_in_order : interrupted_early) += 1;
  }
  std::printf("start-up SIGINT: %d ended by the signal, %d stopped in order\n", interrupted_early, stopped_in_order);
  // Both ends of the range were reached.
  EXPECT_GT(interrupted_early, 0);
  EXPECT_GT(stopped_in_order, 0);
}

TEST(StartUpSigint, EndsTheWaitForTheSimulatorsClock) {
  TempDir dir("robust_start_up_simtime");
  const std::string config = write_robot(dir);
  mq_unlink("/gz_to_orvo2_time");
  for (int delay_ms : {0, 5, 50, 300}) {
    bool started = false;
    EXPECT_TRUE(interrupt_after(std::chrono::milliseconds(delay_ms), {"--simtime", "--config", config},
                                started))
        << "SIGINT " << delay_ms << " ms after the start";
    EXPECT_FALSE(started) << "no clock was sent";
  }
  mq_unlink("/gz_to_orvo2_time");
}
