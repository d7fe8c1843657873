// Registry behaviour: type checks, topic creation, queue registration and the
// task forms.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "framework/typed/topic.h"
#include "orvo2/tasks/callback_queue.h"
#include "test_records.h"

namespace Orvo {
namespace {

using test::Command;
using test::Printable;
using test::Record;

TopicManager& registry() { return Context().topicManager(); }

bool publish(Publisher<Record>& pub, float seq) {
  auto msg = pub.loanMessage();
  if (!msg) {
    return false;
  }
  msg->value().seq = seq;
  return pub.publishLoaned(std::move(msg));
}

TEST(TopicRegistry, TypeMismatchPrintsAndGivesNullHandles) {
  auto pub = registry().advertise<Record>("/reg/mismatch", Record{}, "owner");
  ASSERT_TRUE(pub);

  testing::internal::CaptureStdout();
  auto sub = registry().subscribe<Command>("/reg/mismatch", [](const Command&) {}, nullptr, 5, "owner");
  auto pub2 = registry().advertise<Command>("/reg/mismatch", Command{}, "owner");
  const std::string out = testing::internal::GetCapturedStdout();

  EXPECT_FALSE(sub);
  EXPECT_FALSE(pub2);
  const std::string expected =
      "Topic type mismatch for '/reg/mismatch': \n  requested: Orvo::test::Command \n"
      "  actual:    Orvo::test::Record \n";
  EXPECT_EQ(out, expected + expected);

  // The existing topic is untouched and still delivers.
  auto topic = registry().get_topic("/reg/mismatch");
  ASSERT_TRUE(topic);
  EXPECT_EQ(topic->getTypeName(), "Orvo::test::Record");
  EXPECT_EQ(topic->subscriber_count(), 0u);
  EXPECT_EQ(topic->publisher_count(), 1);
}

TEST(TopicRegistry, MakeOnTopicOfAnotherTypeThrowsTopicBadType) {
  auto topic = Topic::MakeInstance<Record>("/reg/badtype");
  EXPECT_THROW(topic->make_publisher<Command>(Command{}, "o"), TopicBadType);
  EXPECT_THROW(topic->make_subscriber<Command>([](const Command&) {}, nullptr, 3, "o"), TopicBadType);
  try {
    topic->make_publisher<Command>(Command{}, "o");
  } catch (const TopicBadType& e) {
    EXPECT_STREQ(e.what(), "");
  }
  EXPECT_EQ(topic->publisher_count(), 0);
  EXPECT_EQ(topic->pool_size(), 0u);
  EXPECT_THROW(topic->make_subscriber<Record>([](const Record&) {}, nullptr, 0, "o"), std::invalid_argument);
}

TEST(TopicRegistry, TypeIdentityByNameUnlessLocal) {
  EXPECT_TRUE(same_type(typeid(Record), typeid(Record)));
  EXPECT_FALSE(same_type(typeid(Record), typeid(Command)));

  // Same name text at different addresses: equal unless the stored name is
  // marked local with '*'.
  struct FakeInfo : std::type_info {
    explicit FakeInfo(const char* n) : std::type_info(n) {}
  };
  static const char global_a[] = "N4Orvo4test6RecordE";
  static const char global_b[] = "N4Orvo4test6RecordE";
  static const char local_a[] = "*N4Orvo4test6RecordE";
  static const char local_b[] = "*N4Orvo4test6RecordE";
  const FakeInfo ga(global_a), gb(global_b), la(local_a), lb(local_b);
  EXPECT_TRUE(same_type(ga, gb));
  EXPECT_FALSE(same_type(la, lb));
  EXPECT_TRUE(same_type(la, la));
}

TEST(TopicRegistry, TwoPublishersShareOneTopicAndSubscribeBeforeAdvertiseJoins) {
  std::vector<float> got;
  auto sub = registry().subscribe<Record>(
      "/reg/shared", [&](const Record& r) { got.push_back(r.seq); }, nullptr, 10, "sub");
  ASSERT_TRUE(sub);
  auto topic = registry().get_topic("/reg/shared");
  ASSERT_TRUE(topic);
  EXPECT_EQ(topic->publisher_count(), 0);
  EXPECT_EQ(static_cast<const MessageAdapter<Record>&>(topic->getPrototype()).value().seq, 0.f);

  auto a = registry().advertise<Record>("/reg/shared", Record{}, "a");
  auto b = registry().advertise<Record>("/reg/shared", Record{}, "b");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(registry().get_topic("/reg/shared"), topic);
  EXPECT_EQ(topic->publisher_count(), 2);
  EXPECT_EQ(a->getOwner(), "a");

  EXPECT_TRUE(publish(*a, 1));
  EXPECT_TRUE(publish(*b, 2));
  EXPECT_TRUE(publish(*a, 3));
  EXPECT_EQ(sub->run(), 3);
  EXPECT_EQ(got, (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(sub->run(), 0);

  b.reset();
  EXPECT_EQ(topic->publisher_count(), 1);
}

TEST(TopicRegistry, QueueRegistrationAndDrain) {
  CallbackQueue queue;
  int delivered = 0;
  std::weak_ptr<Subscriber<Record>> weak;
  {
    auto sub = registry().subscribe<Record>("/reg/queued", [&](const Record&) { ++delivered; }, &queue, 4, "q");
    ASSERT_TRUE(sub);
    weak = sub;
  }
  // The queue keeps the dropped subscriber alive and drains it.
  EXPECT_EQ(queue.size(), 1u);
  ASSERT_FALSE(weak.expired());

  auto pub = registry().advertise<Record>("/reg/queued", Record{}, "p");
  EXPECT_TRUE(publish(*pub, 1));
  EXPECT_TRUE(publish(*pub, 2));
  queue.run();
  EXPECT_EQ(delivered, 2);
  EXPECT_TRUE(publish(*pub, 3));
  queue.run();
  EXPECT_EQ(delivered, 3);

  EXPECT_EQ(queue.remove(weak.lock().get()), 1);
  EXPECT_TRUE(weak.expired());
  EXPECT_EQ(registry().get_topic("/reg/queued")->subscriber_count(), 0u);

  // A null queue registers nothing anywhere.
  CallbackQueue untouched;
  auto direct = registry().subscribe<Record>("/reg/queued", [](const Record&) {}, nullptr, 4, "d");
  EXPECT_EQ(untouched.size(), 0u);
  EXPECT_EQ(queue.size(), 0u);

  // A callback that subscribes on the queue running it is added when the drain ends.
  CallbackQueue own;
  int late = 0;
  std::shared_ptr<Subscriber<Record>> added;
  auto first = registry().subscribe<Record>(
      "/reg/self_added",
      [&](const Record&) {
        if (!added) {
          added = registry().subscribe<Record>("/reg/self_added", [&](const Record&) { ++late; }, &own, 4, "late");
        }
      },
      &own, 4, "first");
  auto self_pub = registry().advertise<Record>("/reg/self_added", Record{}, "sp");
  EXPECT_TRUE(publish(*self_pub, 1));
  own.run();
  EXPECT_EQ(own.size(), 2u);
  EXPECT_TRUE(publish(*self_pub, 2));
  own.run();
  EXPECT_EQ(late, 1);

  // One that removes itself from the queue running it and deletes its owner
  // gets nothing more, not even the message queued behind (its owner is gone).
  struct Owner {
    std::shared_ptr<Subscriber<Record>> sub;
    int calls = 0;
  };
  CallbackQueue leaving;
  int calls = 0;
  int removed = -1;
  auto* owner = new Owner;
  owner->sub = registry().subscribe<Record>(
      "/reg/self_removed",
      [&calls, &removed, &leaving, owner](const Record&) {
        ++owner->calls;
        if (++calls == 1) {
          removed = leaving.remove(owner->sub.get());
          delete owner;
        }
      },
      &leaving, 4, "leaving");
  std::weak_ptr<Subscriber<Record>> self = owner->sub;
  auto leave_pub = registry().advertise<Record>("/reg/self_removed", Record{}, "lp");
  EXPECT_TRUE(publish(*leave_pub, 1));
  EXPECT_TRUE(publish(*leave_pub, 2));
  leaving.run();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(removed, 1);
  EXPECT_EQ(leaving.size(), 0u);
  EXPECT_TRUE(self.expired());
  EXPECT_TRUE(publish(*leave_pub, 3));
  leaving.run();
  EXPECT_EQ(calls, 1);
}

// A runnable made of a function, for the queue's own cases.
struct Step {
  std::function<void()> body;
  void run() { body(); }
};

TEST(TopicRegistry, AfterARunnableThrewTheQueueChangesAtOnceFromTheDrainingThread) {
  CallbackQueue queue;
  auto thrower = std::make_shared<Step>(Step{[] { throw std::runtime_error("runnable failed"); }});
  queue.addRunnable(thrower);
  EXPECT_THROW(queue.run(), std::runtime_error);
  auto quiet = std::make_shared<Step>(Step{[] {}});
  queue.addRunnable(quiet);
  EXPECT_EQ(queue.size(), 2u);
  EXPECT_EQ(queue.remove(thrower.get()), 1);
  EXPECT_EQ(queue.size(), 1u);
}

TEST(TopicRegistry, ADrainOfTheQueueFromInsideItsOwnDrainNeverSpins) {
  // Left behind, with the draining thread, if the drain never ends.
  auto* queue = new CallbackQueue;
  auto late = std::make_shared<Step>(Step{[] {}});
  auto nested = std::make_shared<bool>(false);
  queue->addRunnable(std::make_shared<Step>(Step{[queue, late, nested] {
    if (!*nested) {
      *nested = true;
      queue->run();
      queue->addRunnable(late);
    }
  }}));
  auto drained = std::make_shared<std::promise<size_t>>();
  auto size = drained->get_future();
  std::thread([queue, drained] {
    queue->run();
    drained->set_value(queue->size());
  }).detach();
  ASSERT_EQ(size.wait_for(std::chrono::seconds(5)), std::future_status::ready) << "the drain spins";
  EXPECT_EQ(size.get(), 2u);
  delete queue;
}

struct Receiver {
  std::vector<float> seen;
  void on_record(const Record& r) { seen.push_back(r.seq); }
};

TEST(TopicRegistry, TaskFormsResolveNamesAndBindMembers) {
  Task task("mover");
  task.setNamespace("robot");
  Receiver receiver;
  auto sub = task.subscribe(std::string("~state"), &Receiver::on_record, &receiver, 5, task.getTaskQueue());
  auto pub = task.advertise<Record>("~state", Record{});
  ASSERT_TRUE(sub && pub);
  EXPECT_EQ(pub->getTopicName(), task.resolveName("~state"));
  EXPECT_EQ(pub->getOwner(), "mover");
  EXPECT_TRUE(registry().get_topic(task.resolveName("~state")));

  EXPECT_TRUE(publish(*pub, 7));
  task.getTaskQueue()->run();
  EXPECT_EQ(receiver.seen, std::vector<float>{7});

  float typed = 0;
  auto sub2 = task.subscribe<Record>("~state", [&](const Record& r) { typed = r.seq; }, 2, nullptr);
  EXPECT_TRUE(publish(*pub, 8));
  EXPECT_EQ(sub2->run(), 1);
  EXPECT_EQ(typed, 8.f);
}

TEST(TopicRegistry, EmptyCallbackRaisesAndReturnsTheMessage) {
  auto sub = registry().subscribe<Record>("/reg/empty_cb", Subscriber<Record>::TypedCallback(), nullptr, 2, "s");
  auto pub = registry().advertise<Record>("/reg/empty_cb", Record{}, "p");
  auto topic = registry().get_topic("/reg/empty_cb");
  const size_t free_before = topic->free_loans();
  ASSERT_TRUE(publish(*pub, 1));
  ASSERT_TRUE(publish(*pub, 2));
  EXPECT_THROW(sub->run(), std::bad_function_call);
  // The failed delivery gave its message back; the second one is still queued.
  EXPECT_EQ(topic->free_loans(), free_before - 1);

  int n = 0;
  sub->setCallback([&](const Record&) { ++n; });
  EXPECT_EQ(sub->run(), 1);
  EXPECT_EQ(topic->free_loans(), free_before);
}

TEST(TopicRegistry, WaitForPublisherIsBoundedAndWakesOnAdvertise) {
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(registry().wait_for_publisher("/reg/wait", std::chrono::milliseconds(30)));
  EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(30));

  std::shared_ptr<Publisher<Record>> pub;
  std::thread advertiser([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    pub = registry().advertise<Record>("/reg/wait", Record{}, "late");
  });
  EXPECT_TRUE(registry().wait_for_publisher("/reg/wait", std::chrono::seconds(5)));
  advertiser.join();
}

TEST(MessageAdapter, PrintsWithStreamOperatorOnly) {
  std::ostringstream os;
  MessageAdapter<Printable> printable(Printable{3});
  EXPECT_TRUE(printable.print(os));
  EXPECT_EQ(os.str(), "code<3>");

  std::ostringstream none;
  MessageAdapter<Command> command;
  EXPECT_FALSE(command.print(none));
  EXPECT_EQ(none.str(), "");

  std::ostringstream xml;
  printable.toXml(xml);
  EXPECT_EQ(xml.str(), "<message type=\"Orvo::test::Printable\">code&lt;3&gt;</message>");
  std::istringstream in("<message/>");
  EXPECT_FALSE(printable.fromXml(in));

  auto copy = printable.clone();
  EXPECT_EQ(copy->getTypeInfo(), typeid(Printable));
  EXPECT_EQ(static_cast<MessageAdapter<Printable>&>(*copy).value().code, 3);
}

}  // namespace
}  // namespace Orvo
