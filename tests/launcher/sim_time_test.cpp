// The process clock follows 8-byte nanosecond counts on "gz_to_orvo2_time".
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>

#include "clock_sender.h"
#include "orvo2/journal.h"
#include "orvo2/simulated_clock.h"
#include "sim_time.h"

using namespace std::chrono_literals;
using Orvo::chrono::simulated_clock;

using OrvoTest::ClockSender;

namespace {

template <typename Pred>
bool eventually(Pred pred, std::chrono::milliseconds limit = 2000ms) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(1ms);
  }
  return pred();
}

}  // namespace

TEST(SimTime, FollowsTheSenderAndStopsWithoutOne) {
  ClockSender sender;
  ASSERT_TRUE(sender.ok());
  Orvo::JournalCapture journal;
  sender.send(5'000'000);

  Orvo::SimTime sim_time;
  EXPECT_TRUE(simulated_clock::uses_sim_time());
  EXPECT_EQ(simulated_clock::now().time_since_epoch(), 5ms);
  EXPECT_EQ(journal.count("opening socket 'gz_to_orvo2_time' .. \n"), 1);
  EXPECT_EQ(journal.count("succesfully opened socket 'gz_to_orvo2_time' \n"), 1);

  for (int64_t ms = 6; ms <= 10; ++ms) {
    sender.send(ms * 1'000'000);
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_TRUE(eventually([] { return simulated_clock::now().time_since_epoch() == 10ms; }));

  // The sender falls silent: stop still returns within about one wait slice.
  std::this_thread::sleep_for(250ms);
  const auto before = std::chrono::steady_clock::now();
  sim_time.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
  EXPECT_EQ(simulated_clock::_sim_now.load(), 10'000'000) << "the last time is kept";
  EXPECT_NE(simulated_clock::now().time_since_epoch(), 10ms) << "real time once switched off";
}

TEST(Receiver, RefusesUnknownKinds) {
  try {
    Orvo::Receiver::Open("udp", "x");
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "unknown receiver kind 'udp' for channel 'x' (known: mq)");
  }
}
