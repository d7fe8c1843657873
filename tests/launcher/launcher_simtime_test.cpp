// orvocore --simtime: start-up waits for the simulator's first clock count.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <mqueue.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <thread>

#include "launcher_process.h"
#include "temp_dir.h"

using namespace std::chrono_literals;
using OrvoTest::LauncherProcess;
using OrvoTest::TempDir;

namespace {

// The simulator's end of "gz_to_orvo2_time", made before orvocore opens it.
class ClockSender {
public:
  ClockSender() {
    mq_unlink("/gz_to_orvo2_time");
    mq_attr attr{};
    attr.mq_maxmsg = 10;
    attr.mq_msgsize = 8;
    _queue = mq_open("/gz_to_orvo2_time", O_WRONLY | O_CREAT | O_NONBLOCK, 0660, &attr);
  }
  ~ClockSender() {
    mq_close(_queue);
    mq_unlink("/gz_to_orvo2_time");
  }
  bool ok() const { return _queue != static_cast<mqd_t>(-1); }
  void send(int64_t ns) { mq_send(_queue, reinterpret_cast<const char*>(&ns), sizeof(ns), 0); }

private:
  mqd_t _queue;
};

const char* const idle_thread = "  idle:\n    period: 10ms\n    devices: [joint_dummy]\n";

TEST(LauncherSimTime, StartUpWaitsForTheFirstClockCount) {
  TempDir dir("launcher_simtime");
  ClockSender sender;
  ASSERT_TRUE(sender.ok());
  LauncherProcess launcher(dir, {"--simtime", "--config", OrvoTest::write_dummy_config(dir, idle_thread)});
  std::this_thread::sleep_for(500ms);
  EXPECT_EQ(launcher.output().find("started running"), std::string::npos);

  sender.send(1000000000);
  ASSERT_TRUE(launcher.wait_output("started running", 10s)) << launcher.output() << launcher.errors();
  sender.send(1001000000);

  const auto interrupted = std::chrono::steady_clock::now();
  launcher.interrupt();
  ASSERT_TRUE(launcher.wait_exit(3s));
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 1500ms);
  EXPECT_TRUE(launcher.exited_with(0)) << launcher.errors();
  EXPECT_NE(launcher.output().find("gracefully stopping"), std::string::npos);
}

TEST(LauncherSimTime, SigintEndsTheWaitWithoutASender) {
  TempDir dir("launcher_simtime_alone");
  mq_unlink("/gz_to_orvo2_time");
  LauncherProcess launcher(dir, {"--simtime", "--config", OrvoTest::write_dummy_config(dir, idle_thread)});
  std::this_thread::sleep_for(500ms);
  EXPECT_FALSE(launcher.wait_exit(0ms));

  const auto interrupted = std::chrono::steady_clock::now();
  launcher.interrupt();
  ASSERT_TRUE(launcher.wait_exit(3s));
  EXPECT_LT(std::chrono::steady_clock::now() - interrupted, 1000ms);
  // SIGINT keeps its default action until start-up is over.
  EXPECT_TRUE(launcher.killed_by(SIGINT));
  EXPECT_EQ(launcher.output().find("started running"), std::string::npos);
  mq_unlink("/gz_to_orvo2_time");
}

}  // namespace
