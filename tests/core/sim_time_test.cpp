// The process clock follows 8-byte nanosecond counts on "gz_to_orvo2_time".
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include <fcntl.h>
#include <mqueue.h>
#include <sys/stat.h>
#include <unistd.h>

#include "clock_sender.h"
#include "orvo2/clock/receiver.h"
#include "orvo2/clock/simulated_clock.h"
#include "orvo2/context/journal.h"
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
  // Left in the queue by a simulator that has ended: never the start time.
  // Start-up waits past it for a count sent after the queue was opened.
  sender.send(3'000'000);
  auto starting = std::async(std::launch::async, [] { return std::make_unique<Orvo::SimTime>(); });
  ASSERT_TRUE(eventually([&sender] { return sender.queued() == 0; }, 10s)) << "the queue was never read";
  EXPECT_EQ(starting.wait_for(200ms), std::future_status::timeout) << "started from a count queued before";
  // A count sent while the receiver still empties the queue goes with the
  // rest: sent again until start-up takes one.
  ASSERT_TRUE(eventually(
      [&] {
        sender.send(5'000'000);
        return starting.wait_for(50ms) == std::future_status::ready;
      },
      10s));
  const std::unique_ptr<Orvo::SimTime> started = starting.get();
  Orvo::SimTime& sim_time = *started;
  EXPECT_TRUE(simulated_clock::uses_sim_time());
  EXPECT_EQ(simulated_clock::now().time_since_epoch(), 5ms);
  EXPECT_EQ(journal.count("opening socket 'gz_to_orvo2_time' .. \n"), 1);
  EXPECT_EQ(journal.count("succesfully opened socket 'gz_to_orvo2_time' \n"), 1);

  for (int64_t ms = 6; ms <= 10; ++ms) {
    sender.send(ms * 1'000'000);
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_TRUE(eventually([] { return simulated_clock::now().time_since_epoch() == 10ms; }));

  // A pause of the sender longer than a wait slice, then a message of the
  // wrong size: the clock goes on with the next counts.
  std::this_thread::sleep_for(450ms);
  sender.send(11'000'000);
  EXPECT_TRUE(eventually([] { return simulated_clock::now().time_since_epoch() == 11ms; }));
  sender.send_bytes("1234");
  sender.send(12'000'000);
  EXPECT_TRUE(eventually([] { return simulated_clock::now().time_since_epoch() == 12ms; }));
  EXPECT_EQ(journal.count("dropped a message of 4 bytes on 'gz_to_orvo2_time': a clock message has 8 \n"), 1);

  // The sender falls silent: stop still returns within about one wait slice.
  std::this_thread::sleep_for(250ms);
  const auto before = std::chrono::steady_clock::now();
  sim_time.stop();
  EXPECT_LT(std::chrono::steady_clock::now() - before, 500ms);
  EXPECT_EQ(simulated_clock::_sim_now.load(), 12'000'000) << "the last time is kept";
  EXPECT_NE(simulated_clock::now().time_since_epoch(), 12ms) << "real time once switched off";
}

TEST(Receiver, RefusesUnknownKinds) {
  try {
    Orvo::Receiver::Open("udp", "x");
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "unknown receiver kind 'udp' for channel 'x' (known: mq)");
  }
}

// Whoever may write to a queue decides the receiver's messages: a queue of
// another user, one that others may open, or one of another message size is
// refused with the reason.
TEST(Receiver, RefusesQueuesItCannotTrust) {
  const std::string name = "orvo2_receiver_test_" + std::to_string(getpid());
  const auto refusal = [&name](mode_t mode, uid_t owner, long message_size) {
    mq_unlink(("/" + name).c_str());
    mq_attr attr{};
    attr.mq_maxmsg = 10;
    attr.mq_msgsize = message_size;
    const mode_t old_mask = umask(0);
    const mqd_t queue = mq_open(("/" + name).c_str(), O_RDONLY | O_CREAT, mode, &attr);
    umask(old_mask);
    EXPECT_NE(queue, static_cast<mqd_t>(-1));
    EXPECT_EQ(fchown(queue, owner, static_cast<gid_t>(-1)), 0);
    mq_close(queue);
    std::string what;
    try {
      Orvo::Receiver::Open("mq", name);
    } catch (const std::runtime_error& e) {
      what = e.what();
    }
    mq_unlink(("/" + name).c_str());
    return what;
  };
  EXPECT_EQ(refusal(0600, geteuid(), 8), "");
  EXPECT_EQ(refusal(0600, 65534, 8),
            "message queue '/" + name + "' belongs to user 65534, not to this user (" +
                std::to_string(geteuid()) + "): refused");
  EXPECT_EQ(refusal(0620, geteuid(), 8),
            "message queue '/" + name +
                "' has mode 0620, open to other users: refused (remove it, it is made again with mode 0600)");
  EXPECT_EQ(refusal(0600, geteuid(), 64),
            "message queue '/" + name + "' holds messages of 64 bytes, 8 expected: refused (remove it)");
}
