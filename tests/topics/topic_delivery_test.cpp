// Loaned publishing and delivery: ordering across threads, overflow, the
// message pool and several publishers at once.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "framework/typed/topic.h"
#include "test_records.h"

namespace Orvo {
namespace {

using test::Command;
using test::Record;
using Clock = std::chrono::steady_clock;

TopicManager& registry() { return Context().topicManager(); }

// Fills a record whose every field derives from `seq`, so that a torn or
// reused message shows.
void fill(Record& r, float seq) {
  r.seq = seq;
  for (int i = 0; i < 10; ++i) {
    r.values[i] = seq + static_cast<float>(i);
  }
}

bool intact(const Record& r) {
  for (int i = 0; i < 10; ++i) {
    if (r.values[i] != r.seq + static_cast<float>(i)) {
      return false;
    }
  }
  return true;
}

bool publish(Publisher<Record>& pub, float seq) {
  auto msg = pub.loanMessage();
  if (!msg) {
    return false;
  }
  fill(msg->value(), seq);
  return pub.publishLoaned(std::move(msg));
}

TEST(TopicDelivery, AcrossThreadsInOrderWithoutLoss) {
  constexpr int total = 20000;
  constexpr int queue_size = 8;
  std::atomic<int> consumed{0};
  std::atomic<bool> bad{false};
  int expected = 0;
  auto sub = registry().subscribe<Record>(
      "/dlv/threads",
      [&](const Record& r) {
        if (static_cast<int>(r.seq) != expected || !intact(r)) {
          bad = true;
        }
        ++expected;
        consumed.store(expected);
      },
      nullptr, queue_size, "sub");
  auto pub = registry().advertise<Record>("/dlv/threads", Record{}, "pub");
  const auto deadline = Clock::now() + std::chrono::seconds(30);

  std::atomic<int> failed_loans{0};
  std::thread publisher([&] {
    for (int seq = 0; seq < total && Clock::now() < deadline; ++seq) {
      // Stay within the queue so that nothing may be dropped.
      while (seq - consumed.load() >= queue_size && Clock::now() < deadline) {
        std::this_thread::yield();
      }
      if (!publish(*pub, static_cast<float>(seq))) {
        ++failed_loans;
      }
    }
  });
  std::thread subscriber([&] {
    while (consumed.load() < total && Clock::now() < deadline) {
      if (sub->run() == 0) {
        std::this_thread::yield();
      }
    }
  });
  publisher.join();
  subscriber.join();

  EXPECT_EQ(consumed.load(), total);
  EXPECT_FALSE(bad.load());
  EXPECT_EQ(failed_loans.load(), 0);
  EXPECT_EQ(sub->dropped_count(), 0u);
  auto topic = registry().get_topic("/dlv/threads");
  EXPECT_EQ(topic->free_loans(), topic->pool_size());
}

TEST(TopicDelivery, FullQueueDropsOldestAndCounts) {
  std::vector<float> got;
  auto sub = registry().subscribe<Record>("/dlv/overflow", [&](const Record& r) { got.push_back(r.seq); }, nullptr,
                                          3, "sub");
  std::vector<float> wide;
  auto wide_sub =
      registry().subscribe<Record>("/dlv/overflow", [&](const Record& r) { wide.push_back(r.seq); }, nullptr, 10, "w");
  std::vector<float> single;
  auto single_sub =
      registry().subscribe<Record>("/dlv/overflow", [&](const Record& r) { single.push_back(r.seq); }, nullptr, 1, "1");
  auto pub = registry().advertise<Record>("/dlv/overflow", Record{}, "pub");
  for (int seq = 1; seq <= 5; ++seq) {
    ASSERT_TRUE(publish(*pub, static_cast<float>(seq)));
  }
  EXPECT_EQ(sub->dropped_count(), 2u);
  EXPECT_EQ(wide_sub->dropped_count(), 0u);
  EXPECT_EQ(single_sub->dropped_count(), 4u);
  EXPECT_EQ(single_sub->run(), 1);
  EXPECT_EQ(single, std::vector<float>{5});
  EXPECT_EQ(sub->run(), 3);
  EXPECT_EQ(got, (std::vector<float>{3, 4, 5}));
  EXPECT_EQ(wide_sub->run(), 5);
  EXPECT_EQ(wide, (std::vector<float>{1, 2, 3, 4, 5}));
  auto topic = registry().get_topic("/dlv/overflow");
  EXPECT_EQ(topic->free_loans(), topic->pool_size());
}

TEST(TopicDelivery, LoansComeBackToThePool) {
  auto sub = registry().subscribe<Record>("/dlv/pool", [](const Record&) {}, nullptr, 2, "sub");
  auto pub = registry().advertise<Record>("/dlv/pool", Record{}, "pub");
  auto topic = registry().get_topic("/dlv/pool");
  const size_t pool = topic->pool_size();
  EXPECT_EQ(pool, 2u + 1u + 2u);

  // Queues kept full never starve a publisher holding one loan at a time.
  for (int seq = 0; seq < 50; ++seq) {
    ASSERT_TRUE(publish(*pub, static_cast<float>(seq))) << "loan refused at " << seq;
  }
  EXPECT_EQ(topic->free_loans(), pool - 2);
  EXPECT_EQ(sub->run(), 2);
  EXPECT_EQ(topic->free_loans(), pool);

  // A loan goes back once; later attempts, null and foreign loans fail.
  auto msg = pub->loanMessage();
  ASSERT_TRUE(msg);
  std::shared_ptr<MessageBase> copy = msg;
  EXPECT_TRUE(pub->publishLoaned(std::move(msg)));
  EXPECT_FALSE(msg);
  EXPECT_FALSE(pub->publishLoaned(std::move(copy)));
  EXPECT_FALSE(pub->publishLoaned(nullptr));
  auto other = registry().advertise<Record>("/dlv/pool_other", Record{}, "o");
  auto foreign = other->loanMessage();
  EXPECT_FALSE(pub->publishLoaned(std::move(foreign)));
  EXPECT_FALSE(pub->publishLoaned(std::make_shared<MessageAdapter<Record>>()));
  EXPECT_EQ(sub->run(), 1);

  // Exhaust the pool, then drop a loan without publishing: it is reclaimed.
  std::vector<std::shared_ptr<MessageAdapter<Record>>> held;
  while (auto loan = pub->loanMessage()) {
    held.push_back(std::move(loan));
  }
  EXPECT_EQ(held.size(), pool);
  EXPECT_FALSE(pub->loanMessage());
  held.pop_back();
  EXPECT_TRUE(pub->loanMessage());
  held.clear();
  EXPECT_EQ(topic->free_loans(), pool);

  // A subscriber that goes away gives its pending messages back.
  ASSERT_TRUE(publish(*pub, 1));
  ASSERT_TRUE(publish(*pub, 2));
  EXPECT_EQ(topic->free_loans(), pool - 2);
  sub.reset();
  EXPECT_EQ(topic->free_loans(), pool);
  EXPECT_EQ(topic->subscriber_count(), 0u);
}

// A cycle publishes on hundreds of device topics, each with a pool of a
// score of messages: while the subscribers keep up, a publisher must reuse
// the same message rather than walk the pool and drag it through the cache.
TEST(TopicDelivery, APublisherWhoseSubscriberKeepsUpReusesOneMessage) {
  auto sub = registry().subscribe<Record>("/dlv/reuse", [](const Record&) {}, nullptr, 20, "sub");
  auto pub = registry().advertise<Record>("/dlv/reuse", Record{}, "pub");
  auto address = [&pub] {
    auto msg = pub->loanMessage();
    return msg ? &msg->value() : nullptr;
  };
  const Record* first = address();
  ASSERT_NE(first, nullptr);
  for (int seq = 0; seq < 50; ++seq) {
    ASSERT_TRUE(publish(*pub, static_cast<float>(seq)));
    ASSERT_EQ(sub->run(), 1);
    ASSERT_EQ(address(), first) << "cycle " << seq;
  }
  // A message still queued is not handed out again; once delivered it is.
  ASSERT_TRUE(publish(*pub, 1));
  EXPECT_NE(address(), first);
  ASSERT_EQ(sub->run(), 1);
  EXPECT_EQ(address(), first);
}

// A publisher that sizes its messages at set-up must find every message of
// the pool at that size, also those that later subscribers brought.
TEST(TopicDelivery, SubscribersMadeAfterAPublisherBringMessagesOfItsShape) {
  using Samples = std::vector<int>;
  auto pub = registry().advertise<Samples>("/dlv/shape", Samples(100, 7), "pub");
  auto sub = registry().subscribe<Samples>("/dlv/shape", [](const Samples&) {}, nullptr, 3, "sub");
  std::vector<std::shared_ptr<MessageAdapter<Samples>>> held;
  while (auto loan = pub->loanMessage()) {
    held.push_back(std::move(loan));
  }
  ASSERT_EQ(held.size(), 2u + 3u + 1u);
  for (const auto& loan : held) {
    EXPECT_EQ(loan->value(), Samples(100, 7));
  }
}

TEST(TopicDelivery, SeveralPublishersAtOnce) {
  constexpr int publishers = 3;
  constexpr int per_publisher = 5000;
  std::vector<int> last(publishers, -1);
  std::atomic<int> received{0};
  std::atomic<bool> bad{false};
  // The record's first value carries the publisher's index, the others
  // derive from its sequence number.
  auto sub = registry().subscribe<Record>(
      "/dlv/many",
      [&](const Record& r) {
        const int who = static_cast<int>(r.values[0]);
        bool whole = true;
        for (int k = 1; k < 10; ++k) {
          whole = whole && r.values[k] == r.seq + static_cast<float>(k);
        }
        if (!whole || who < 0 || who >= publishers || static_cast<int>(r.seq) <= last[who]) {
          bad = true;
          return;
        }
        last[who] = static_cast<int>(r.seq);
        ++received;
      },
      nullptr, 16, "sub");
  std::vector<Publisher<Record>::Ptr> pubs;
  for (int i = 0; i < publishers; ++i) {
    pubs.push_back(registry().advertise<Record>("/dlv/many", Record{}, "pub" + std::to_string(i)));
  }
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  std::atomic<int> running{publishers};
  std::atomic<int> failed_loans{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < publishers; ++i) {
    threads.emplace_back([&, i] {
      for (int seq = 0; seq < per_publisher && Clock::now() < deadline; ++seq) {
        auto msg = pubs[i]->loanMessage();
        if (!msg) {
          ++failed_loans;
          continue;
        }
        msg->value().seq = static_cast<float>(seq);
        msg->value().values[0] = static_cast<float>(i);
        for (int k = 1; k < 10; ++k) {
          msg->value().values[k] = static_cast<float>(seq + k);
        }
        pubs[i]->publishLoaned(std::move(msg));
      }
      --running;
    });
  }
  while ((running.load() > 0 || sub->run() > 0) && Clock::now() < deadline) {
    sub->run();
  }
  for (auto& t : threads) {
    t.join();
  }
  sub->run();

  EXPECT_FALSE(bad.load());
  EXPECT_EQ(failed_loans.load(), 0);
  EXPECT_EQ(static_cast<uint64_t>(received.load()) + sub->dropped_count(),
            static_cast<uint64_t>(publishers * per_publisher));
  auto topic = registry().get_topic("/dlv/many");
  EXPECT_EQ(topic->free_loans(), topic->pool_size());
}

TEST(TopicDelivery, SubscribersComeAndGoWhilePublishing) {
  auto pub = registry().advertise<Record>("/dlv/churn", Record{}, "pub");
  std::atomic<bool> stop{false};
  std::atomic<long> published{0};
  std::thread publisher([&] {
    for (long n = 0; !stop.load(); ++n) {
      if (publish(*pub, static_cast<float>(n % 100000))) {
        ++published;
      }
    }
  });
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (published.load() < 100 && Clock::now() < deadline) {
    std::this_thread::yield();
  }
  int delivered = 0;
  for (int i = 0; i < 200; ++i) {
    auto sub = registry().subscribe<Record>(
        "/dlv/churn", [&](const Record& r) { delivered += intact(r) ? 1 : -1000000; }, nullptr, 1 + i % 5, "sub");
    sub->run();
  }
  stop = true;
  publisher.join();
  EXPECT_GT(published.load(), 0);
  EXPECT_GE(delivered, 0);
  auto topic = registry().get_topic("/dlv/churn");
  EXPECT_EQ(topic->subscriber_count(), 0u);
  // Each subscriber reused what the one before it left: the pool only grew
  // to serve the publisher and the largest queue (5).
  EXPECT_EQ(topic->pool_size(), 2u + 5u + 1u);
  EXPECT_EQ(topic->free_loans(), topic->pool_size());
}

TEST(TopicDelivery, QueueOfADepartedSubscriberServesTheNextOneEmpty) {
  auto pub = registry().advertise<Record>("/dlv/reuse", Record{}, "pub");
  auto first = registry().subscribe<Record>("/dlv/reuse", [](const Record&) {}, nullptr, 2, "first");
  for (int seq = 0; seq < 4; ++seq) {
    ASSERT_TRUE(publish(*pub, static_cast<float>(seq)));
  }
  EXPECT_EQ(first->dropped_count(), 2u);
  first.reset();

  std::vector<float> got;
  auto next = registry().subscribe<Record>("/dlv/reuse", [&](const Record& r) { got.push_back(r.seq); }, nullptr, 2,
                                           "next");
  EXPECT_EQ(next->run(), 0);
  EXPECT_EQ(next->dropped_count(), 0u);
  ASSERT_TRUE(publish(*pub, 9));
  EXPECT_EQ(next->run(), 1);
  EXPECT_EQ(got, std::vector<float>{9});
  auto topic = registry().get_topic("/dlv/reuse");
  EXPECT_EQ(topic->pool_size(), 2u + 2u + 1u);
  EXPECT_EQ(topic->free_loans(), topic->pool_size());
}

// Subscribers joining and leaving never cost the steady subscriber a
// message, also when a queue listed ahead of the steady one is reopened
// while a publisher is between counting the queues and pushing. The
// publisher never runs ahead of the steady queue; it stops after `total`
// messages or 30 s, whichever comes first (a busy machine hands fewer over),
// and every message it published must arrive.
TEST(TopicDelivery, SteadySubscriberLosesNothingWhileOthersComeAndGo) {
  constexpr int total = 50000;
  constexpr int queue_size = 8;
  constexpr int other_size = 3;
  // The first queue of the topic, closed before the steady one opens.
  registry().subscribe<Record>("/dlv/steady", [](const Record&) {}, nullptr, other_size, "early");
  std::atomic<int> consumed{0};
  std::atomic<bool> bad{false};
  int expected = 0;
  auto steady = registry().subscribe<Record>(
      "/dlv/steady",
      [&](const Record& r) {
        bad = bad.load() || static_cast<int>(r.seq) != expected || !intact(r);
        consumed.store(++expected);
      },
      nullptr, queue_size, "steady");
  auto pub = registry().advertise<Record>("/dlv/steady", Record{}, "pub");
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  std::atomic<int> published{0};
  std::atomic<bool> published_all{false};
  std::atomic<bool> done{false};
  std::atomic<int> failed_loans{0};

  std::thread publisher([&] {
    const auto room_for = [&](int seq) {
      while (seq - consumed.load() >= queue_size) {
        if (Clock::now() >= deadline) {
          return false;
        }
        std::this_thread::yield();
      }
      return true;
    };
    for (int seq = 0; seq < total && Clock::now() < deadline && room_for(seq); ++seq) {
      if (!publish(*pub, static_cast<float>(seq))) {
        ++failed_loans;
      }
      published.store(seq + 1);
    }
    published_all = true;
  });
  std::thread churn([&] {
    for (int i = 0; !done.load(); ++i) {
      auto other = registry().subscribe<Record>("/dlv/steady", [](const Record&) {}, nullptr,
                                                i % 4 == 0 ? queue_size : other_size, "other");
      other->run();
    }
  });
  // Until the publisher has ended and its last message was taken.
  for (;;) {
    const bool finished = published_all.load();
    if (steady->run() == 0) {
      if (finished) {
        break;
      }
      std::this_thread::yield();
    }
  }
  done = true;
  publisher.join();
  churn.join();

  EXPECT_GE(published.load(), total / 10) << "too few messages for subscribers to come and go meanwhile";
  EXPECT_EQ(consumed.load(), published.load());
  EXPECT_FALSE(bad.load());
  EXPECT_EQ(failed_loans.load(), 0);
  EXPECT_EQ(steady->dropped_count(), 0u);
  auto topic = registry().get_topic("/dlv/steady");
  EXPECT_EQ(topic->subscriber_count(), 1u);
  EXPECT_EQ(topic->free_loans(), topic->pool_size());
}

}  // namespace
}  // namespace Orvo
