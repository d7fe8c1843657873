// The plug-in lifecycle, stepped by hand in the test's thread.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "framework/typed/topic.h"
#include "orvo2/context/journal.h"
#include "orvo2/tasks/runnable_task.h"

using Orvo::Runnable;

namespace {

class Probe : public Orvo::RunnableTask {
public:
  explicit Probe(std::string name) : RunnableTask(std::move(name)) {
    setLifecycleListener([this](State from, State to) { events.emplace_back(from, to); });
  }

  bool on_initialize() override {
    ++initialized;
    return init_ok;
  }
  void starting() override {
    ++started;
    if (++start_progress == start_steps) {
      start_progress = 0;
      start_completed();
    }
  }
  void run() override {
    ++runs;
    if (run_action) {
      run_action();
    }
  }
  void stopping() override { ++stopped; }
  void on_abort() override { ++aborted; }
  void on_close() override { ++closed; }

  void steps(int count) {
    for (int i = 0; i < count; ++i) {
      execute_lifecycle();
    }
  }

  bool init_ok = true;
  int start_steps = 1;  // starting() calls until a start completes
  int start_progress = 0;
  std::function<void()> run_action;
  int initialized = 0, started = 0, runs = 0, stopped = 0, aborted = 0, closed = 0;
  std::vector<std::pair<State, State>> events;
};

using Events = std::vector<std::pair<Runnable::State, Runnable::State>>;

TEST(Lifecycle, AutostartRunsAndCommandsMoveBetweenStates) {
  Probe probe("lc_auto");
  probe.setAutostart(true);
  probe.steps(1);
  EXPECT_EQ(probe.getState(), Runnable::Initialized);
  probe.steps(1);  // autostart: starting() completes at once
  EXPECT_EQ(probe.getState(), Runnable::Running);
  probe.steps(3);
  EXPECT_EQ(probe.runs, 3);

  EXPECT_TRUE(probe.command(Runnable::Stop));
  probe.steps(2);
  EXPECT_EQ(probe.getState(), Runnable::Stopped);
  EXPECT_EQ(probe.stopped, 1);
  EXPECT_EQ(probe.runs, 3);

  EXPECT_TRUE(probe.command(Runnable::Start));
  probe.steps(2);
  EXPECT_EQ(probe.getState(), Runnable::Running);
  EXPECT_EQ(probe.started, 2);
  EXPECT_EQ(probe.initialized, 1);

  EXPECT_TRUE(probe.command(Runnable::Abort));
  probe.steps(1);
  EXPECT_EQ(probe.getState(), Runnable::Aborted);
  EXPECT_EQ(probe.aborted, 1);
  EXPECT_FALSE(probe.command(Runnable::Start));
  EXPECT_FALSE(probe.command(Runnable::Stop));
  probe.steps(3);
  EXPECT_EQ(probe.getState(), Runnable::Aborted);
  EXPECT_EQ(probe.aborted, 1);

  const Events expected = {
      {Runnable::Uninitialized, Runnable::Initialized}, {Runnable::Initialized, Runnable::Starting},
      {Runnable::Starting, Runnable::Running},          {Runnable::Running, Runnable::Stopped},
      {Runnable::Stopped, Runnable::Starting},          {Runnable::Starting, Runnable::Running},
      {Runnable::Running, Runnable::Aborted}};
  EXPECT_EQ(probe.events, expected);
}

TEST(Lifecycle, WithoutAutostartWaitsForStartAndStartMayTakeSeveralSteps) {
  Probe probe("lc_manual");
  probe.start_steps = 3;
  probe.steps(5);
  EXPECT_EQ(probe.getState(), Runnable::Initialized);
  EXPECT_EQ(probe.started, 0);

  EXPECT_TRUE(probe.command(Runnable::Start));
  probe.steps(2);
  EXPECT_EQ(probe.getState(), Runnable::Starting);
  probe.steps(1);
  EXPECT_EQ(probe.getState(), Runnable::Running);
  EXPECT_EQ(probe.started, 3);
  EXPECT_EQ(probe.runs, 0);

  // A stop while starting ends the start.
  EXPECT_TRUE(probe.command(Runnable::Stop));
  probe.steps(1);
  EXPECT_EQ(probe.getState(), Runnable::Stopped);
}

TEST(Lifecycle, NotStoppableRefusesStopButNotAbort) {
  Probe probe("lc_unstoppable");
  probe.setAutostart(true);
  probe.setStoppable(false);
  probe.steps(2);
  ASSERT_EQ(probe.getState(), Runnable::Running);
  EXPECT_FALSE(probe.command(Runnable::Stop));
  probe.steps(2);
  EXPECT_EQ(probe.getState(), Runnable::Running);
  EXPECT_EQ(probe.stopped, 0);
  EXPECT_TRUE(probe.command(Runnable::Abort));
  probe.steps(1);
  EXPECT_EQ(probe.getState(), Runnable::Aborted);
  EXPECT_FALSE(probe.command(static_cast<Runnable::Command>(7)));
}

TEST(Lifecycle, FailedInitialisationIsFinal) {
  Probe probe("lc_init_fails");
  probe.init_ok = false;
  probe.setAutostart(true);
  probe.steps(3);
  EXPECT_EQ(probe.getState(), Runnable::InitFailed);
  EXPECT_EQ(probe.initialized, 1);
  EXPECT_EQ(probe.started, 0);
  EXPECT_FALSE(probe.command(Runnable::Start));
}

TEST(Lifecycle, ExceptionInRunOrInAQueuedCallbackAborts) {
  Orvo::JournalCapture journal;
  Probe probe("lc_throws");
  probe.setAutostart(true);
  probe.run_action = [] { throw std::runtime_error("joint limit exceeded"); };
  probe.steps(3);
  EXPECT_EQ(probe.getState(), Runnable::Aborted);
  EXPECT_EQ(probe.runs, 1);
  EXPECT_EQ(probe.aborted, 1);
  EXPECT_TRUE(journal.contains("plug-in 'lc_throws' threw in run: joint limit exceeded"));

  Probe listener("lc_callback_throws");
  listener.setAutostart(true);
  auto publisher = listener.advertise<int>("/lc_callback_topic", 0);
  auto subscriber = listener.subscribe<int>(
      "/lc_callback_topic", [](const int&) { throw std::logic_error("bad message"); }, 4,
      listener.getTaskQueue());
  listener.steps(2);
  ASSERT_EQ(listener.getState(), Runnable::Running);
  auto message = publisher->loanMessage();
  ASSERT_TRUE(message);
  publisher->publishLoaned(std::move(message));
  listener.steps(1);
  EXPECT_EQ(listener.getState(), Runnable::Aborted);
  EXPECT_TRUE(journal.contains("plug-in 'lc_callback_throws' threw in a queued callback: bad message"));
}

TEST(Lifecycle, CloseStopsARunningTaskThenCloses) {
  Probe probe("lc_close");
  probe.setAutostart(true);
  probe.steps(2);
  probe.close();
  EXPECT_EQ(probe.getState(), Runnable::Closed);
  EXPECT_EQ(probe.stopped, 1);
  EXPECT_EQ(probe.closed, 1);
  EXPECT_EQ(probe.events.back(), std::make_pair(Runnable::Stopped, Runnable::Closed));
  EXPECT_FALSE(probe.command(Runnable::Abort));
  probe.close();
  EXPECT_EQ(probe.closed, 1);

  Probe idle("lc_close_idle");
  idle.close();
  EXPECT_EQ(idle.stopped, 0);
  EXPECT_EQ(idle.closed, 1);
}

}  // namespace
