// SIGINT while a framework service call is pending in a worker thread of
// orvocore: the caller waits for a slow handler, or for a server that never
// drains its requests. The stop waits at most for the handler and the call's
// time-out, then ends in order with status 0.

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "child_process.h"
#include "dummy_arm.h"
#include "temp_dir.h"

using namespace std::chrono_literals;
using OrvoTest::ChildProcess;
using OrvoTest::TempDir;

namespace {

// The example arm's first two joints and two threads: "server_thread" runs
// the task "server" that serves "/server/slow", "caller_thread" the task
// "caller" that calls it.
OrvoTest::RobotConfig service_robot(int handler_ms, bool drain, int timeout_ms) {
  OrvoTest::RobotConfig config = OrvoTest::dummy_arm_config(ORVO2_EXAMPLES_DIR "/dummy_robot/", 2);
  config.thread(OrvoTest::WorkerThread("server_thread", "1ms")
                    .devices({"joint_dummy"})
                    .task("server", "robust_service_probe",
                          {{"serve", "bool", "true"},
                           {"drain", "bool", drain ? "true" : "false"},
                           {"handler_ms", "int", std::to_string(handler_ms)}}));
  config.thread(OrvoTest::WorkerThread("caller_thread", "1ms")
                    .task("caller", "robust_service_probe",
                          {{"call", "string", "/server/slow"}, {"timeout_ms", "int", std::to_string(timeout_ms)}}));
  return config;
}

// Starts orvocore on `robot`, waits for `busy` in its output, interrupts it
// and expects the orderly stop within `bound`.
std::string interrupt_while(const OrvoTest::RobotConfig& robot, const std::string& busy,
                            std::chrono::milliseconds bound) {
  TempDir dir("robust_service_sigint");
  ChildProcess launcher({ORVOCORE_PATH, "--config", robot.write(dir)});
  EXPECT_TRUE(launcher.wait_for_output("started running", 10s)) << launcher.output() << launcher.errors();
  EXPECT_TRUE(launcher.wait_for_output(busy, 10s)) << launcher.output() << launcher.errors();

  const auto interrupted = std::chrono::steady_clock::now();
  launcher.signal(SIGINT);
  EXPECT_TRUE(launcher.wait_for_exit(bound + 5s)) << "hangs; output: " << launcher.output();
  const std::chrono::duration<double> stop = std::chrono::steady_clock::now() - interrupted;
  std::printf("service SIGINT: stopped %.2f s after the signal\n", stop.count());
  EXPECT_LT(stop, bound);
  EXPECT_EQ(launcher.exit_code(), 0) << launcher.output() << launcher.errors();
  EXPECT_NE(launcher.output().find("gracefully stopping"), std::string::npos) << launcher.output();
  EXPECT_EQ(launcher.errors(), "");
  return launcher.output();
}

}  // namespace

TEST(ServiceSigint, StopsWhileTheHandlerIsSlow) {
  // The signal is seen within 1 s; the server thread stops after its handler
  // (2 s); the caller's next call, which nobody serves any more, ends at its
  // time-out (3 s).
  interrupt_while(service_robot(2000, true, 3000), "service_probe: handling", 7000ms);
}

TEST(ServiceSigint, StopsWhileNoServerDrains) {
  // The server thread stops at once; the caller's call ends at its time-out
  // (2 s), then the caller thread stops.
  interrupt_while(service_robot(0, false, 2000), "service_probe: call pending", 4500ms);
}

TEST(ServiceSigint, WaitsForAPluginSlowToEndWithoutRos) {
  // Nothing here can hang on a ROS master: a plug-in whose destructor takes
  // 4.5 s is waited for, not cut short.
  OrvoTest::RobotConfig robot = OrvoTest::dummy_arm_config(ORVO2_EXAMPLES_DIR "/dummy_robot/", 2);
  robot.thread(OrvoTest::WorkerThread("slow_thread", "1ms")
                   .task("slow", "robust_service_probe", {{"release_ms", "int", "4500"}}));
  const std::string output = interrupt_while(robot, "started running", 7000ms);
  EXPECT_NE(output.find("service_probe: released"), std::string::npos) << output;
}
