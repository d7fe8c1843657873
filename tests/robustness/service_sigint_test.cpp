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
#include "dummy_config.h"
#include "temp_dir.h"

using namespace std::chrono_literals;
using OrvoTest::ChildProcess;
using OrvoTest::TempDir;

namespace {

// Two threads: "server_thread" runs the task "server" that serves
// "/server/slow", "caller_thread" the task "caller" that calls it.
std::string service_threads(int handler_ms, bool drain, int timeout_ms) {
  return "  server_thread:\n"
         "    period: 1ms\n"
         "    devices: [joint_dummy]\n"
         "    tasks:\n"
         "      server:\n"
         "        plugin: robust_service_probe\n"
         "        params:\n"
         "          serve: {type: bool, value: true}\n"
         "          drain: {type: bool, value: " +
         std::string(drain ? "true" : "false") +
         "}\n"
         "          handler_ms: {type: int, value: " +
         std::to_string(handler_ms) +
         "}\n"
         "  caller_thread:\n"
         "    period: 1ms\n"
         "    tasks:\n"
         "      caller:\n"
         "        plugin: robust_service_probe\n"
         "        params:\n"
         "          call: {type: string, value: /server/slow}\n"
         "          timeout_ms: {type: int, value: " +
         std::to_string(timeout_ms) + "}\n";
}

// Starts orvocore on `threads`, waits for `busy` in its output, interrupts it
// and expects the orderly stop within `bound`.
std::string interrupt_while(const std::string& threads, const std::string& busy, std::chrono::milliseconds bound) {
  TempDir dir("robust_service_sigint");
  ChildProcess launcher({ORVOCORE_PATH, "--config", OrvoTest::write_dummy_config(dir, threads)});
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
  interrupt_while(service_threads(2000, true, 3000), "service_probe: handling", 7000ms);
}

TEST(ServiceSigint, StopsWhileNoServerDrains) {
  // The server thread stops at once; the caller's call ends at its time-out
  // (2 s), then the caller thread stops.
  interrupt_while(service_threads(0, false, 2000), "service_probe: call pending", 4500ms);
}

TEST(ServiceSigint, WaitsForAPluginSlowToEndWithoutRos) {
  // Nothing here can hang on a ROS master: a plug-in whose destructor takes
  // 4.5 s is waited for, not cut short.
  const std::string threads =
      "  slow_thread:\n"
      "    period: 1ms\n"
      "    tasks:\n"
      "      slow:\n"
      "        plugin: robust_service_probe\n"
      "        params:\n"
      "          release_ms: {type: int, value: 4500}\n";
  const std::string output = interrupt_while(threads, "started running", 7000ms);
  EXPECT_NE(output.find("service_probe: released"), std::string::npos) << output;
}
