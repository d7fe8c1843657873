// After its warm-up a worker cycle allocates nothing: counted inside the
// worker thread while other threads subscribe to its topics and call its
// scheduler services.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <vector>

#include "framework/typed/service.h"
#include "framework/typed/topic.h"
#include "memory_hooks.h"
#include "orvo2/tasks/task_statistics.h"
#include "orvo2/workers/orvo_core_thread.h"
#include "wait_until.h"
#include "worker_helpers.h"

using namespace std::chrono_literals;

namespace {

TEST(WorkerAllocation, CyclesAllocateNothingAfterWarmUp) {
  constexpr uint64_t warm_up = 200;
  constexpr uint64_t counted = 1000;
  OrvoTest::set_dummy_hardware(20);
  const std::string thread_name = OrvoTest::unique_name("wt_alloc");
  const std::string task = OrvoTest::unique_name("counted");
  Orvo::TaskArgs tasks{{OrvoTest::test_task(task), OrvoTest::test_task(OrvoTest::unique_name("other"))}};
  Orvo::OrvoCoreThread thread(thread_name, OrvoTest::every(1ms), OrvoTest::dummy_joints(), tasks, false);

  std::atomic<uint64_t> allocations{0};
  std::atomic<uint64_t> cycles{0};
  thread.setCycleHook([&](uint64_t done) {
    if (done == warm_up) {
      orvo2_set_malloc_hook([&allocations](size_t) { allocations.fetch_add(1); });
    } else if (done == warm_up + counted) {
      orvo2_set_malloc_hook(nullptr);
    }
    cycles.store(done);
  });

  Orvo::Context context;
  int stats_seen = 0;
  auto stats = context.topicManager().subscribe<Orvo::Scheduler::TaskStatistics>(
      "/" + task + "/stats", [&](const Orvo::Scheduler::TaskStatistics&) { ++stats_seen; }, nullptr, 20, "test");
  auto times = context.topicManager().subscribe<Orvo::OrvoCoreThread::ExecutionTime>(
      "/" + thread_name + "/execution_time", [](const Orvo::OrvoCoreThread::ExecutionTime&) {}, nullptr, 20,
      "test");
  auto get_state = context.serviceManager().serviceClient<Orvo::service::Empty, std::string>(
      "/orvo_internal/scheduler/" + task + "/get_state");

  thread.start();
  int answered = 0;
  ASSERT_TRUE(OrvoTest::wait_until(
      [&] {
        std::string state;
        answered += get_state->call({}, state, 100ms) && state == "Running";
        stats->run();
        times->run();
        return cycles.load() > warm_up + counted;
      },
      10000ms));
  thread.stop();

  EXPECT_GT(answered, 10);
  EXPECT_GT(stats_seen, 100);
  EXPECT_EQ(allocations.load(), 0u) << "allocations in " << counted << " cycles";
}

}  // namespace
