#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "alloc_counter.h"
#include "memory_hooks.h"

namespace {

// Calls through volatile pointers so that the compiler cannot drop a
// malloc/free pair whose memory is never used.
void* (*volatile call_malloc)(size_t) = &malloc;
void* (*volatile call_calloc)(size_t, size_t) = &calloc;
void* (*volatile call_realloc)(void*, size_t) = &realloc;
void (*volatile call_free)(void*) = &free;

struct Calls {
  int count = 0;
  size_t last_size = 0;
};

TEST(MemoryHooks, ReportsEachMallocUntilUninstalled) {
  Calls calls;
  orvo2_set_malloc_hook([&calls](size_t size) {
    ++calls.count;
    calls.last_size = size;
  });
  void* p = call_malloc(24);
  const Calls seen = calls;
  orvo2_set_malloc_hook(std::function<void(size_t)>());
  call_free(call_malloc(16));

  ASSERT_NE(p, nullptr);
  std::memset(p, 0xab, 24);
  EXPECT_EQ(static_cast<unsigned char*>(p)[23], 0xab);
  call_free(p);
  EXPECT_EQ(seen.count, 1);
  EXPECT_EQ(seen.last_size, 24u);
  EXPECT_EQ(calls.count, 1);
}

TEST(MemoryHooks, AllocationsOfTheHookAreNotReported) {
  int count = 0;
  orvo2_set_malloc_hook([&count](size_t) {
    ++count;
    call_free(call_malloc(32));
    auto nested = std::make_unique<int>(5);
  });
  call_free(call_malloc(24));
  call_free(call_malloc(40));
  orvo2_set_malloc_hook(nullptr);
  EXPECT_EQ(count, 2);
}

TEST(MemoryHooks, CallocAndReallocAreNotReported) {
  int count = 0;
  orvo2_set_malloc_hook([&count](size_t) { ++count; });
  void* zeroed = call_calloc(4, 16);
  void* grown = call_realloc(nullptr, 32);
  grown = call_realloc(grown, 4096);
  const int seen = count;
  orvo2_set_malloc_hook(nullptr);
  call_free(zeroed);
  call_free(grown);
  EXPECT_EQ(seen, 0);
}

TEST(MemoryHooks, HooksStayInTheirThread) {
  const pthread_t main_thread = pthread_self();
  std::atomic<int> foreign{0};
  orvo2_set_malloc_hook([&foreign, main_thread](size_t) {
    if (!pthread_equal(pthread_self(), main_thread)) {
      foreign.fetch_add(1);
    }
  });

  int own_in_other = -1;
  std::thread other([&own_in_other] {
    // A new thread starts without a hook; allocate before and after installing one.
    call_free(call_malloc(77));
    int own = 0;
    orvo2_set_malloc_hook([&own](size_t size) {
      if (size == 77) {
        ++own;
      }
    });
    for (int i = 0; i < 100; ++i) {
      call_free(call_malloc(77));
    }
    orvo2_set_malloc_hook(nullptr);
    own_in_other = own;
  });
  other.join();
  orvo2_set_malloc_hook(nullptr);

  EXPECT_EQ(foreign.load(), 0);
  EXPECT_EQ(own_in_other, 100);
}

TEST(AllocCounter, CountsOperatorNewOfItsThreadOnly) {
  Orvo::test::AllocCounter counter;
  auto value = std::make_unique<double>(1.0);
  EXPECT_EQ(counter.count(), 1u);
  EXPECT_EQ(counter.bytes(), sizeof(double));
  counter.reset();
  value.reset();
  EXPECT_EQ(counter.count(), 0u);
}

}  // namespace
