// Many ROS clients calling the bridge's services at once while the robot
// cycles at 1 kHz: every call is answered or refused with the bridge's own
// texts, nothing hangs, the hardware thread keeps its period and every joint
// state stays intact.

#include <signal.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <thread>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <ros/service.h>

#include <orvo_msgs/GetPluginList.h>
#include <orvo_msgs/PluginStatus.h>
#include <orvo_msgs/SetControlMask.h>

#include "robot_under_test.h"

namespace {

using namespace std::chrono_literals;
using OrvoTest::RobotUnderTest;

constexpr int kClients = 16;
constexpr auto kLoadTime = 10s;
// Masks that all keep the position commands flowing.
constexpr uint8_t kMasks[] = {1, 3, 7, 31, 255};

// What the clients saw; a text that the bridge never gives is kept as bad.
struct Outcome {
  uint64_t calls = 0;
  uint64_t answered = 0;
  uint64_t refused = 0;
  uint64_t failed = 0;  // the ROS call itself failed
  std::vector<std::string> bad;

  void add(const Outcome& other) {
    calls += other.calls;
    answered += other.answered;
    refused += other.refused;
    failed += other.failed;
    bad.insert(bad.end(), other.bad.begin(), other.bad.end());
  }
};

// Counts a call that got no answer; a persistent client connects anew, as
// its dropped link would fail every later call.
template <typename Service>
void count_failed_call(ros::ServiceClient& client, const std::string& service, bool persistent,
                       Outcome& outcome) {
  ++outcome.failed;
  if (persistent) {
    client = ros::NodeHandle().serviceClient<Service>(service, true);
  }
}

// One client: calls its service in a loop until `until`, over one persistent
// connection or a new connection per call. A call may fail without an answer:
// the state query when the scheduler does not answer in time, any call when
// the ROS library drops a connection just opened (its poll set can hand a
// hang-up of a closed socket to the new socket that reuses the number).
Outcome run_client(int index, std::chrono::steady_clock::time_point until,
                   const std::vector<std::string>& plugins) {
  ros::NodeHandle node;
  const bool persistent = index % 2 == 0;
  Outcome outcome;
  const auto keep_bad = [&outcome](std::string what) {
    if (outcome.bad.size() < 5) {
      outcome.bad.push_back(std::move(what));
    }
  };
  switch (index % 3) {
    case 0: {
      const std::string service = "/orvocore/get_plugin_list";
      ros::ServiceClient client = node.serviceClient<orvo_msgs::GetPluginList>(service, persistent);
      while (std::chrono::steady_clock::now() < until) {
        orvo_msgs::GetPluginList list;
        ++outcome.calls;
        if (!client.call(list)) {
          count_failed_call<orvo_msgs::GetPluginList>(client, service, persistent, outcome);
        } else if (list.response.plugins != plugins) {
          keep_bad(fmt::format("get_plugin_list gave [{}]", fmt::join(list.response.plugins, ", ")));
        } else {
          ++outcome.answered;
        }
      }
      break;
    }
    case 1: {
      const std::string service = "/orvocore/commander/state";
      ros::ServiceClient client = node.serviceClient<orvo_msgs::PluginStatus>(service, persistent);
      while (std::chrono::steady_clock::now() < until) {
        orvo_msgs::PluginStatus status;
        ++outcome.calls;
        if (!client.call(status)) {
          count_failed_call<orvo_msgs::PluginStatus>(client, service, persistent, outcome);
        } else if (status.response.state != "Running") {
          keep_bad("commander/state gave '" + status.response.state + "'");
        } else {
          ++outcome.answered;
        }
      }
      break;
    }
    default: {
      const std::string service = "/orvocore/joint_master/set_control_mask";
      ros::ServiceClient client = node.serviceClient<orvo_msgs::SetControlMask>(service, persistent);
      for (size_t k = 0; std::chrono::steady_clock::now() < until; ++k) {
        orvo_msgs::SetControlMask mask;
        mask.request.mask = kMasks[(static_cast<size_t>(index) + k) % std::size(kMasks)];
        ++outcome.calls;
        if (!client.call(mask)) {
          count_failed_call<orvo_msgs::SetControlMask>(client, service, persistent, outcome);
          continue;
        }
        const unsigned value = mask.request.mask;
        const std::string refusal = fmt::format("Unable to set control mask to {} for joint master", value);
        if (mask.response.success &&
            mask.response.message == fmt::format("Succesfully set control mask to {} for joint master", value)) {
          ++outcome.answered;
        } else if (!mask.response.success &&
                   (mask.response.message == refusal ||
                    mask.response.message == refusal + ", server did not respond within timeout")) {
          ++outcome.refused;
        } else {
          keep_bad("joint_master/set_control_mask gave '" + mask.response.message + "'");
        }
      }
      break;
    }
  }
  return outcome;
}

float percentile(std::vector<float> values, double p) {
  if (values.empty()) {
    return 0.0f;
  }
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1))];
}

TEST(RosServiceLoad, SixteenClientsWhileTheRobotCyclesAt1kHz) {
  RobotUnderTest robot("ros_load");
  const std::vector<std::string> plugins = {"ros_io", "commander", "ros_control"};

  robot.monitor().reset();
  const auto start = std::chrono::steady_clock::now();
  const auto until = start + kLoadTime;
  std::mutex mutex;
  std::condition_variable done_cv;
  int done = 0;
  Outcome total;
  std::vector<std::thread> clients;
  for (int i = 0; i < kClients; ++i) {
    clients.emplace_back([&, i] {
      const Outcome outcome = run_client(i, until, plugins);
      std::lock_guard<std::mutex> lock(mutex);
      total.add(outcome);
      ++done;
      done_cv.notify_one();
    });
  }
  {
    // A call that never comes back is a hang: the robot is killed, which
    // ends every pending call, and the test fails.
    std::unique_lock<std::mutex> lock(mutex);
    const bool finished = done_cv.wait_until(lock, until + 30s, [&] { return done == kClients; });
    if (!finished) {
      ADD_FAILURE() << "service calls still pending 30 s after the load ended\n" << robot.core().output();
      robot.core().signal(SIGKILL);
    }
  }
  for (std::thread& client : clients) {
    client.join();
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const OrvoTest::RobotFigures figures = robot.monitor().figures();

  ASSERT_TRUE(robot.core().running()) << robot.core().output();
  EXPECT_TRUE(total.bad.empty()) << fmt::format("{}", fmt::join(total.bad, "\n")) << "\norvocore:\n"
                                  << robot.core().output();
  EXPECT_EQ(total.answered + total.refused + total.failed, total.calls);
  EXPECT_GT(total.answered, static_cast<uint64_t>(kClients));
  EXPECT_LE(total.failed, total.calls / 100) << total.failed << " of " << total.calls;
  // No call failed in the bridge itself.
  EXPECT_EQ(robot.core().output().find("' failed: "), std::string::npos) << robot.core().output();

  // The hardware thread kept its 1 ms period; every joint state was intact.
  const float median = percentile(figures.periods, 0.5);
  const float p99 = percentile(figures.periods, 0.99);
  const float max = percentile(figures.periods, 1.0);
  EXPECT_GE(figures.periods.size(), 100u);
  EXPECT_NEAR(median, 0.001f, 0.0001f);
  EXPECT_LT(p99, 0.002f);
  EXPECT_LT(max, 0.010f);
  EXPECT_EQ(figures.broken_joint_states, 0u) << figures.first_broken;
  EXPECT_GE(figures.joint_states, static_cast<uint64_t>(300 * seconds));

  std::cout << fmt::format(
      "{} clients, {:.1f} s: {} calls ({:.0f}/s), {} answered, {} refused, {} failed; "
      "hal_thread period median {:.3f} ms, p99 {:.3f} ms, max {:.3f} ms over {} samples, {} overruns; "
      "{} joint states ({:.0f}/s), {} broken\n",
      kClients, seconds, total.calls, static_cast<double>(total.calls) / seconds, total.answered,
      total.refused, total.failed, median * 1e3, p99 * 1e3, max * 1e3, figures.periods.size(),
      figures.overruns, figures.joint_states, static_cast<double>(figures.joint_states) / seconds,
      figures.broken_joint_states);

  // Every call is over: the joint master is back to its full mask.
  ros::NodeHandle node;
  orvo_msgs::SetControlMask mask;
  mask.request.mask = 255;
  EXPECT_TRUE(ros::service::call("/orvocore/joint_master/set_control_mask", mask));
  EXPECT_EQ(robot.stop_core(), 0) << robot.core().output();
}

}  // namespace
