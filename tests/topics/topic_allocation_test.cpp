// Steady-state publishing and delivery allocate nothing: counted with the
// allocation hook in the publisher's and the subscriber's threads.

#include <gtest/gtest.h>

#include <vector>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include "alloc_counter.h"
#include "framework/typed/topic.h"
#include "orvo2/tasks/callback_queue.h"
#include "test_records.h"

namespace Orvo {
namespace {

using test::Record;
using Clock = std::chrono::steady_clock;

TEST(TopicAllocation, HookSeesAllocationsOfItsThread) {
  test::AllocCounter counter;
  void* volatile p = std::malloc(24);
  std::free(p);
  EXPECT_GE(counter.count(), 1u);
}

TEST(TopicAllocation, PublishAndDeliverAllocateNothingInEitherThread) {
  constexpr int warm_up = 200;
  constexpr int measured = 10000;
  constexpr int total = warm_up + measured;
  constexpr int queue_size = 20;

  CallbackQueue queue;
  std::atomic<int> consumed{0};
  std::atomic<bool> bad{false};
  int expected = 0;
  auto sub = Context().topicManager().subscribe<Record>(
      "/alloc/records",
      [&](const Record& r) {
        bad = bad.load() || static_cast<int>(r.seq) != expected;
        consumed.store(++expected);
      },
      &queue, queue_size, "sub");
  auto pub = Context().topicManager().advertise<Record>("/alloc/records", Record{}, "pub");
  ASSERT_TRUE(sub && pub);

  const auto deadline = Clock::now() + std::chrono::seconds(30);
  std::atomic<size_t> publisher_allocs{1};
  std::atomic<size_t> subscriber_allocs{1};
  std::atomic<int> failed{0};

  std::thread publisher([&] {
    test::AllocCounter counter;
    for (int seq = 0; seq < total && Clock::now() < deadline; ++seq) {
      if (seq == warm_up) {
        counter.reset();
      }
      while (seq - consumed.load() >= queue_size && Clock::now() < deadline) {
        std::this_thread::yield();
      }
      auto msg = pub->loanMessage();
      if (!msg) {
        ++failed;
        continue;
      }
      msg->value().seq = static_cast<float>(seq);
      for (int i = 0; i < 10; ++i) {
        msg->value().values[i] = static_cast<float>(i);
      }
      if (!pub->publishLoaned(std::move(msg))) {
        ++failed;
      }
    }
    publisher_allocs = counter.count();
  });
  std::thread subscriber([&] {
    test::AllocCounter counter;
    bool counting = false;
    while (consumed.load() < total && Clock::now() < deadline) {
      if (!counting && consumed.load() >= warm_up) {
        counter.reset();
        counting = true;
      }
      queue.run();
    }
    subscriber_allocs = counter.count();
  });
  publisher.join();
  subscriber.join();

  EXPECT_EQ(consumed.load(), total);
  EXPECT_FALSE(bad.load());
  EXPECT_EQ(failed.load(), 0);
  EXPECT_EQ(sub->dropped_count(), 0u);
  EXPECT_EQ(publisher_allocs.load(), 0u);
  EXPECT_EQ(subscriber_allocs.load(), 0u);
}


// A topic that a subscriber made first holds default messages until its
// publisher arrives; from then on every loan starts from the publisher's
// prototype, so that filling a sized message in the cycle allocates nothing.
TEST(TopicAllocation, LoansStartFromThePublishersPrototypeWhoeverMadeTheTopic) {
  struct Sized {
    std::vector<double> values;
  };
  size_t delivered = 0;
  bool all_sized = true;
  auto early = Context().topicManager().subscribe<Sized>(
      "/alloc/sized", [&](const Sized& m) { ++delivered; all_sized = all_sized && m.values.size() == 30; },
      nullptr, 5, "early");
  auto pub = Context().topicManager().advertise<Sized>("/alloc/sized", Sized{std::vector<double>(30, 0.0)}, "pub");
  auto late = Context().topicManager().subscribe<Sized>("/alloc/sized", [](const Sized&) {}, nullptr, 5, "late");
  ASSERT_TRUE(early && pub && late);

  test::AllocCounter counter;
  for (int i = 0; i < 100; ++i) {
    auto loan = pub->loanMessage();
    ASSERT_TRUE(loan);
    for (size_t j = 0; j < 30; ++j) {
      loan->value().values.at(j) = i + j;  // fills in place: no resize
    }
    pub->publishLoaned(std::move(loan));
    early->run();
    late->run();
  }
  EXPECT_EQ(counter.count(), 0u);
  EXPECT_EQ(delivered, 100u);
  EXPECT_TRUE(all_sized);
}

}  // namespace
}  // namespace Orvo
