// Thread wrapper and thread identity.
#include <pthread.h>

#include <atomic>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "framework/primitives/thread.h"
#include "framework/primitives/thread_id.h"

namespace Orvo {
namespace {

TEST(Thread, RunsTheBodyInAnotherThreadUntilJoined) {
  const thread_id caller;
  std::atomic<bool> ran{false};
  bool same_thread = true;
  int policy = -1;
  Orvo::thread t([&] {
    same_thread = thread_id() == caller;
    sched_param param{};
    pthread_getschedparam(pthread_self(), &policy, &param);
    ran = true;
  });
  EXPECT_TRUE(t.joinable());
  t.join();
  EXPECT_FALSE(t.joinable());
  EXPECT_TRUE(ran.load());
  EXPECT_FALSE(same_thread);
  EXPECT_EQ(policy, SCHED_OTHER);
}

TEST(ThreadDeathTest, DestroyingAnUnjoinedThreadTerminates) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH({ Orvo::thread t([] {}); }, "");
}

TEST(ThreadId, ComparesByIdAndPrintsIdWithName) {
  std::string before, after, printed;
  bool equal = false, differs_from_main = false;
  const thread_id main_id;
  Orvo::thread t([&] {
    pthread_setname_np(pthread_self(), "orvo_first_name");  // 15 characters
    const thread_id first;
    pthread_setname_np(pthread_self(), "renamed");
    const thread_id second;
    before = first.name();
    after = second.name();
    equal = first == second;
    differs_from_main = first != main_id;
    printed = fmt::format("{}", second);
  });
  t.join();
  EXPECT_EQ(before, "orvo_first_name");
  EXPECT_EQ(after, "renamed");
  EXPECT_TRUE(equal);
  EXPECT_TRUE(differs_from_main);
  EXPECT_NE(printed.find(" (renamed)"), std::string::npos) << printed;
  EXPECT_EQ(printed.substr(0, printed.find(' ')).find_first_not_of("0123456789"), std::string::npos);
}

}  // namespace
}  // namespace Orvo
