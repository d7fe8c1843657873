// Multi-reader lock under real threads: shared entry, writer preference,
// readers that race a writer back out.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "framework/primitives/multireader_mutex.h"
#include "wait_until.h"

namespace Orvo {
namespace {

using OrvoTest::wait_until;
using namespace std::chrono_literals;

TEST(MultireaderMutex, ReadersShareTheLockWithoutBlocking) {
  multireader_mutex m;
  constexpr int n = 6;
  std::atomic<int> inside{0};
  std::atomic<int> all_met{0};
  std::vector<std::thread> readers;
  for (int i = 0; i < n; ++i) {
    readers.emplace_back([&] {
      m.lock_shared();
      inside.fetch_add(1);
      // Every reader must be inside at the same time.
      if (wait_until([&] { return inside.load() == n; })) {
        all_met.fetch_add(1);
      }
      m.unlock_shared();
    });
  }
  for (auto& t : readers) {
    t.join();
  }
  EXPECT_EQ(all_met.load(), n);
  // With the readers gone a writer enters at once.
  m.lock();
  m.unlock();
}

TEST(MultireaderMutex, WriterWaitsForReadersAndNewReadersWaitForWriter) {
  multireader_mutex m;
  std::atomic<bool> second_in{false}, release_second{false};
  std::atomic<bool> writer_in{false}, release_writer{false};
  std::atomic<bool> third_started{false}, third_in{false};

  m.lock_shared();  // first reader: this thread
  std::thread second([&] {
    m.lock_shared();
    second_in = true;
    wait_until([&] { return release_second.load(); });
    m.unlock_shared();
  });
  ASSERT_TRUE(wait_until([&] { return second_in.load(); }));

  std::thread writer([&] {
    m.lock();
    writer_in = true;
    wait_until([&] { return release_writer.load(); });
    m.unlock();
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(writer_in.load()) << "writer entered while two readers hold the lock";

  std::thread third([&] {
    third_started = true;
    m.lock_shared();
    third_in = true;
    m.unlock_shared();
  });
  ASSERT_TRUE(wait_until([&] { return third_started.load(); }));
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(third_in.load()) << "a new reader overtook the waiting writer";

  m.unlock_shared();
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(writer_in.load()) << "writer entered while one reader holds the lock";

  release_second = true;
  ASSERT_TRUE(wait_until([&] { return writer_in.load(); }));
  std::this_thread::sleep_for(30ms);
  EXPECT_FALSE(third_in.load()) << "reader entered while the writer holds the lock";

  release_writer = true;
  EXPECT_TRUE(wait_until([&] { return third_in.load(); }));
  second.join();
  writer.join();
  third.join();
}

// The writer changes two values one after the other; a reader inside the
// lock must always see them equal.
TEST(MultireaderMutex, ReadersNeverObserveAWriteInProgress) {
  multireader_mutex m;
  std::atomic<long> first{0}, second{0};
  std::atomic<bool> stop{false};
  std::atomic<long> torn{0}, reads{0};

  std::vector<std::thread> readers;
  for (int i = 0; i < 3; ++i) {
    readers.emplace_back([&] {
      while (!stop.load()) {
        m.lock_shared();
        const long a = first.load(std::memory_order_relaxed);
        const long b = second.load(std::memory_order_relaxed);
        m.unlock_shared();
        torn.fetch_add(a != b ? 1 : 0);
        reads.fetch_add(1);
      }
    });
  }
  long writes = 0;
  const auto end = std::chrono::steady_clock::now() + 300ms;
  while (std::chrono::steady_clock::now() < end) {
    m.lock();
    first.store(writes + 1, std::memory_order_relaxed);
    for (int spin = 0; spin < 50; ++spin) {
      std::atomic_signal_fence(std::memory_order_seq_cst);
    }
    second.store(writes + 1, std::memory_order_relaxed);
    m.unlock();
    ++writes;
  }
  stop = true;
  for (auto& t : readers) {
    t.join();
  }
  EXPECT_EQ(torn.load(), 0);
  EXPECT_GT(writes, 0);
  EXPECT_GT(reads.load(), 0);
}

}  // namespace
}  // namespace Orvo
