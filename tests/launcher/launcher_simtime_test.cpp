// orvocore --simtime: start-up waits for the simulator's first clock count.
#include <gtest/gtest.h>

#include <mqueue.h>

#include <chrono>
#include <string>
#include <thread>

#include "bounded_wait.h"
#include "child_process.h"
#include "clock_sender.h"
#include "dummy_config.h"
#include "temp_dir.h"

using namespace std::chrono_literals;
using OrvoTest::ChildProcess;
using OrvoTest::TempDir;

using OrvoTest::ClockSender;

namespace {

const char* const idle_thread = "  idle:\n    period: 10ms\n    devices: [joint_dummy]\n";

TEST(LauncherSimTime, StartUpWaitsForTheFirstClockCount) {
  TempDir dir("launcher_simtime");
  ClockSender sender;
  ASSERT_TRUE(sender.ok());
  ChildProcess launcher({ORVOCORE_PATH, "--simtime", "--config", OrvoTest::write_dummy_config(dir, idle_thread)});
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(launcher.output().find("started running"), std::string::npos);

  // Counts queued before orvocore opened the queue are dropped: send until one is taken.
  ASSERT_TRUE(OrvoTest::wait_until(
      [&] {
        sender.send(1000000000);
        return launcher.output().find("started running") != std::string::npos;
      },
      10s))
      << launcher.output() << launcher.errors();
  sender.send(1001000000);

  const auto interrupted = std::chrono::steady_clock::now();
  launcher.signal(SIGINT);
  ASSERT_TRUE(launcher.wait_for_exit(3s));
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 1500ms);
  EXPECT_EQ(launcher.exit_code(), 0) << launcher.errors();
  EXPECT_NE(launcher.output().find("gracefully stopping"), std::string::npos);
}

TEST(LauncherSimTime, SigintEndsTheWaitWithoutASender) {
  TempDir dir("launcher_simtime_alone");
  mq_unlink("/gz_to_orvo2_time");
  ChildProcess launcher({ORVOCORE_PATH, "--simtime", "--config", OrvoTest::write_dummy_config(dir, idle_thread)});
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
