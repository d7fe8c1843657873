// ORVO2_LDEBUG: parsing, the per-thread cache and the per-function level.
// The value is cached per thread, so every reading happens in a fresh thread
// after the variable was set.
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "framework/primitives/debug.h"

namespace Orvo {
namespace {

void set_level(const char* value) {
  if (value == nullptr) {
    unsetenv("ORVO2_LDEBUG");
  } else {
    setenv("ORVO2_LDEBUG", value, 1);
  }
}

template <typename F>
void in_fresh_thread(F body) {
  std::thread t(body);
  t.join();
}

int verbosity_with(const char* value) {
  set_level(value);
  int verbosity = -100;
  in_fresh_thread([&] { verbosity = internal::get_debug_verbosity(); });
  return verbosity;
}

TEST(DebugSwitch, ParsesTheLevelAsABaseTenInteger) {
  EXPECT_EQ(verbosity_with(nullptr), 0);
  EXPECT_EQ(verbosity_with(""), 0);
  EXPECT_EQ(verbosity_with("abc"), 0);
  EXPECT_EQ(verbosity_with("2"), 2);
  EXPECT_EQ(verbosity_with("-3"), -3);
  EXPECT_EQ(verbosity_with("010"), 10);
  set_level(nullptr);
}

TEST(DebugSwitch, EachThreadReadsTheVariableOnce) {
  set_level("2");
  int first = 0, second = 0;
  std::atomic<bool> read{false}, changed{false};
  std::thread reader([&] {
    first = internal::get_debug_verbosity();
    read = true;
    while (!changed) {
      std::this_thread::yield();
    }
    second = internal::get_debug_verbosity();
  });
  while (!read) {
    std::this_thread::yield();
  }
  set_level(nullptr);
  changed = true;
  reader.join();
  EXPECT_EQ(first, 2);
  EXPECT_EQ(second, 2);
  EXPECT_EQ(verbosity_with(nullptr), 0);
}

void service_trace() { ORVO2_DEBUG_TRACE(0, "advertiseService", "service '{}' \n", "s1"); }
void device_trace() { ORVO2_DEBUG_TRACE(1, "move", "device '{}' \n", "d1"); }
void late_trace() { ORVO2_DEBUG_TRACE(0, "operator()", "late \n"); }
void level_two_trace() { ORVO2_DEBUG_TRACE(1, "sense", "level {} \n", 2); }

std::string output_of(void (*traced)()) {
  testing::internal::CaptureStdout();
  in_fresh_thread(traced);
  return testing::internal::GetCapturedStdout();
}

TEST(DebugTrace, ThresholdsSeparateServiceAndDeviceTraces) {
  set_level("1");
  EXPECT_EQ(output_of(service_trace), "[dbg ][advertiseService] service 's1' \n");
  EXPECT_EQ(output_of(device_trace), "");
  set_level("2");
  EXPECT_EQ(output_of(level_two_trace), "[dbg ][sense] level 2 \n");
  set_level(nullptr);
}

TEST(DebugTrace, LevelIsFixedAtTheFirstCall) {
  set_level("abc");
  EXPECT_EQ(output_of(late_trace), "");
  set_level("5");
  EXPECT_EQ(output_of(late_trace), "");
  set_level(nullptr);
}

}  // namespace
}  // namespace Orvo
