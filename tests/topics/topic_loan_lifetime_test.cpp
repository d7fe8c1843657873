// A loan's handle lives in its pool slot: copies and weak references of it
// keep the slot out of the pool, and a loan kept after its topic went away
// stays usable.

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <vector>

#include "framework/typed/topic.h"
#include "test_records.h"

namespace Orvo {
namespace {

using test::Record;

// Loans every free message, checks that none is `kept`, and gives them back.
void expect_not_loaned_again(Publisher<Record>& pub, const MessageBase* kept) {
  std::vector<std::shared_ptr<MessageAdapter<Record>>> all;
  while (auto loan = pub.loanMessage()) {
    EXPECT_NE(loan.get(), kept);
    all.push_back(std::move(loan));
  }
}

TEST(TopicLoanLifetime, CopiesAndWeakReferencesKeepTheSlotAfterPublishing) {
  std::vector<float> got;
  auto sub = Context().topicManager().subscribe<Record>(
      "/loan/copies", [&](const Record& r) { got.push_back(r.seq); }, nullptr, 2, "sub");
  auto pub = Context().topicManager().advertise<Record>("/loan/copies", Record{}, "pub");
  auto topic = Context().topicManager().get_topic("/loan/copies");
  const size_t pool = topic->pool_size();

  auto msg = pub->loanMessage();
  ASSERT_TRUE(msg);
  msg->value().seq = 7;
  std::shared_ptr<MessageAdapter<Record>> copy = msg;
  EXPECT_TRUE(pub->publishLoaned(std::move(msg)));
  EXPECT_EQ(sub->run(), 1);
  EXPECT_EQ(got, std::vector<float>{7});
  // Delivered, but the copy still points at the message: its slot is not
  // handed out again until the copy goes.
  EXPECT_EQ(topic->free_loans(), pool - 1);
  expect_not_loaned_again(*pub, copy.get());
  EXPECT_EQ(copy->value().seq, 7);
  copy.reset();
  EXPECT_EQ(topic->free_loans(), pool);

  // A weak reference holds the slot the same way, after a publish and after
  // a loan dropped unpublished.
  for (const bool publish : {true, false}) {
    auto loan = pub->loanMessage();
    ASSERT_TRUE(loan);
    std::weak_ptr<MessageAdapter<Record>> weak = loan;
    const MessageBase* address = loan.get();
    if (publish) {
      EXPECT_TRUE(pub->publishLoaned(std::move(loan)));
      EXPECT_EQ(sub->run(), 1);
    } else {
      loan.reset();
    }
    EXPECT_TRUE(weak.expired());
    EXPECT_EQ(topic->free_loans(), pool - 1) << "publish " << publish;
    expect_not_loaned_again(*pub, address);
    weak.reset();
    EXPECT_EQ(topic->free_loans(), pool);
  }
}

TEST(TopicLoanLifetime, LoanOutlivesItsTopic) {
  auto topic = Topic::MakeInstance<Record>("/loan/outlives");
  auto pub = topic->make_publisher<Record>(Record{}, "pub");
  auto sub = topic->make_subscriber<Record>([](const Record&) {}, nullptr, 1, "sub");
  auto loan = pub->loanMessage();
  ASSERT_TRUE(loan);
  std::weak_ptr<MessageAdapter<Record>> weak = loan;
  sub.reset();
  pub.reset();
  topic.reset();
  loan->value().seq = 3;
  EXPECT_EQ(loan->value().seq, 3);
  loan.reset();
  EXPECT_TRUE(weak.expired());
}

}  // namespace
}  // namespace Orvo
