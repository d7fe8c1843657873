// orvocore --simtime: start-up waits for the simulator's first clock count.
#include <gtest/gtest.h>

#include <mqueue.h>

#include <chrono>
#include <string>
#include <thread>

#include "child_process.h"
#include "clock_sender.h"
#include "dummy_arm.h"
#include "temp_dir.h"
#include "wait_until.h"

using namespace std::chrono_literals;
using OrvoTest::ChildProcess;
using OrvoTest::TempDir;

using OrvoTest::ClockSender;
using OrvoTest::WorkerThread;

namespace {

// The example arm's first two joints.
OrvoTest::RobotConfig two_joints() { return OrvoTest::dummy_arm_config(ORVO2_EXAMPLES_DIR "/dummy_robot/", 2); }

TEST(LauncherSimTime, StartUpWaitsForTheFirstClockCountAndStopsInOrder) {
  TempDir dir("launcher_simtime");
  ClockSender sender;
  ASSERT_TRUE(sender.ok());
  sender.send(999000000);  // left by a simulator that has ended: not a start
  // Two threads with a plug-in each, which says on closing whether the clock
  // still runs and how many hold its robot (itself and the registry).
  const std::string config =
      two_joints()
          .thread(WorkerThread("first", "10ms").devices({"joint_dummy"}).task("one", "test_plugin"))
          .thread(WorkerThread("second", "10ms").task("two", "test_plugin"))
          .write(dir);
  ChildProcess launcher({ORVOCORE_PATH, "--simtime", "--config", config});
  ASSERT_TRUE(OrvoTest::wait_until([&] { return sender.queued() == 0; }, 10s, OrvoTest::kProcessPoll))
      << launcher.errors();
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(launcher.output().find("started running"), std::string::npos) << "started from a count queued before";

  // A count sent while orvocore still empties the queue goes with the rest:
  // send until one is taken.
  ASSERT_TRUE(OrvoTest::wait_until(
      [&] {
        sender.send(1000000000);
        return launcher.output().find("started running") != std::string::npos;
      },
      10s, OrvoTest::kProcessPoll))
      << launcher.output() << launcher.errors();
  sender.send(1001000000);

  const auto interrupted = std::chrono::steady_clock::now();
  launcher.signal(SIGINT);
  ASSERT_TRUE(launcher.wait_for_exit(3s));
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 1500ms);
  EXPECT_EQ(launcher.exit_code(), 0) << launcher.errors();
  // The threads stop in creation order while the clock runs and the robots
  // are registered; then the clock stops, the registry is cleared, and only
  // then the stop is announced.
  const std::string output = launcher.output();
  const size_t one = output.find("one: closed, simulated time on, robot held 2 times \n");
  const size_t two = output.find("two: closed, simulated time on, robot held 2 times \n");
  const size_t stopping = output.find("gracefully stopping");
  ASSERT_NE(one, std::string::npos) << output;
  ASSERT_NE(two, std::string::npos) << output;
  EXPECT_LT(one, two);
  EXPECT_NE(stopping, std::string::npos);
  EXPECT_LT(two, stopping);
}

TEST(LauncherSimTime, SigintEndsTheWaitWithoutASender) {
  TempDir dir("launcher_simtime_alone");
  mq_unlink("/gz_to_orvo2_time");
  const std::string config = two_joints().thread(WorkerThread("idle", "10ms").devices({"joint_dummy"})).write(dir);
  ChildProcess launcher({ORVOCORE_PATH, "--simtime", "--config", config});
  std::this_thread::sleep_for(500ms);
  EXPECT_FALSE(launcher.wait_for_exit(0ms));

  const auto interrupted = std::chrono::steady_clock::now();
  launcher.signal(SIGINT);
  ASSERT_TRUE(launcher.wait_for_exit(3s));
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 1000ms);
  // SIGINT keeps its default action until start-up is over.
  EXPECT_TRUE(launcher.killed_by(SIGINT));
  EXPECT_EQ(launcher.output().find("started running"), std::string::npos);
  mq_unlink("/gz_to_orvo2_time");
}

}  // namespace
