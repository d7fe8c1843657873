// orvosim as a process: plug-ins loaded by name drive the model, the clock
// channel carries the simulated time, bad input and a full /dev/shm fail
// clearly, every stop signal stops it.
// Every run sends on the one clock queue: these tests hold the gz_clock lock.

#include <fcntl.h>
#include <mqueue.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "child_process.h"
#include "dummy_arm.h"

using namespace std::chrono_literals;
using testing::HasSubstr;

namespace {

std::string data_file(const std::string& name) {
  return std::string(ORVO2_SIM_TEST_DATA) + "/" + name;
}

std::string temp_path(const std::string& stem) {
  static int counter = 0;
  return testing::TempDir() + "orvosim_" + std::to_string(getpid()) + "_" +
         std::to_string(counter++) + "_" + stem;
}

// One orvosim run; at the end the clock queue it made is removed as well.
class Orvosim : public OrvoTest::ChildProcess {
public:
  explicit Orvosim(const std::vector<std::string>& args) : ChildProcess(command(args)) {}
  ~Orvosim() {
    stop(SIGKILL, 5s);
    mq_unlink("/gz_to_orvo2_time");
  }
  Orvosim(const Orvosim&) = delete;
  Orvosim& operator=(const Orvosim&) = delete;

private:
  static std::vector<std::string> command(const std::vector<std::string>& args) {
    std::vector<std::string> all{ORVOSIM_PATH};
    all.insert(all.end(), args.begin(), args.end());
    return all;
  }
};

double joint_position(const std::string& out, const std::string& joint) {
  std::smatch match;
  const std::regex pattern("pd_test: joint '" + joint + "' position (\\S+)");
  if (!std::regex_search(out, match, pattern)) return 1e9;
  return std::stod(match[1]);
}

}  // namespace

TEST(Orvosim, PluginSeesItsGainsAndSettlesTheJointsNearTheirTargets) {
  Orvosim sim({"--fast", "--steps", "3000", data_file("pd_arm.sdf")});
  ASSERT_TRUE(sim.wait_for_exit(60s));
  const std::string out = sim.output();
  EXPECT_EQ(sim.exit_code(), 0) << sim.errors();
  EXPECT_THAT(out, HasSubstr("pd_test: gain 'shoulder' p=50 d=5 target=0.5\n"));
  EXPECT_THAT(out, HasSubstr("pd_test: gain 'elbow' p=40 d=4 target=-0.3\n"));
  EXPECT_THAT(out, HasSubstr("pd_test: updates 3000\n"));  // and simulated time never went back
  EXPECT_NEAR(joint_position(out, "shoulder"), 0.5, 0.01);
  EXPECT_NEAR(joint_position(out, "elbow"), -0.3, 0.01);
  EXPECT_THAT(out, HasSubstr("pd_test: imu 'tool_imu' acceleration "));
  EXPECT_THAT(out, HasSubstr("pd_test: ft 'shoulder_ft' force "));
  EXPECT_THAT(out, HasSubstr("orvosim: stopped after 3000 steps, simulated time 3 s"));
}

TEST(Orvosim, ClockChannelDeliversIncreasingEightByteTimes) {
  const char* name = "/gz_to_orvo2_time";
  mq_attr attr{};
  attr.mq_maxmsg = 10;
  attr.mq_msgsize = 8;
  mqd_t queue = mq_open(name, O_RDONLY | O_CREAT | O_NONBLOCK, 0600, &attr);
  ASSERT_NE(queue, static_cast<mqd_t>(-1)) << std::strerror(errno);
  char buffer[64];
  while (mq_receive(queue, buffer, sizeof buffer, nullptr) >= 0) {
  }  // stale times of an earlier run

  Orvosim sim({"--quiet", "--steps", "300", "--step", "0.001", data_file("pd_arm.sdf")});
  std::vector<int64_t> times;
  const auto end = std::chrono::steady_clock::now() + 30s;
  bool ended = false;
  for (;;) {
    const ssize_t n = mq_receive(queue, buffer, sizeof buffer, nullptr);
    if (n >= 0) {
      ASSERT_EQ(n, 8);
      int64_t t = 0;
      std::memcpy(&t, buffer, 8);
      times.push_back(t);
      continue;
    }
    if (ended || std::chrono::steady_clock::now() > end) break;
    ended = sim.wait_for_exit(0ms);  // once ended, what is left in the queue is read
    if (!ended) std::this_thread::sleep_for(200us);
  }
  mq_close(queue);
  mq_unlink(name);
  ASSERT_TRUE(sim.wait_for_exit(10s));
  EXPECT_EQ(sim.exit_code(), 0) << sim.errors();

  ASSERT_GE(times.size(), 100u);  // a slow reader may miss some, never most
  for (std::size_t i = 0; i < times.size(); ++i) {
    EXPECT_EQ(times[i] % 1000000, 0) << times[i];
    if (i > 0) {
      EXPECT_GT(times[i], times[i - 1]);
    }
  }
  EXPECT_LE(times.back(), 300000000);
  EXPECT_GE(times.front(), 1000000);
}

TEST(Orvosim, BadInputExitsNonZeroWithAClearMessage) {
  const std::string malformed = temp_path("malformed.sdf");
  std::ofstream(malformed) << "<sdf version='1.7'><model name='m'><link name='a'>";
  const std::string model = OrvoTest::read_file(data_file("pd_arm.sdf"));
  auto with_plugin = [&](const std::string& filename) {
    const std::string path = temp_path("plugin.sdf");
    std::ofstream(path) << std::regex_replace(model, std::regex("liborvo2_sim_test_pd\\.so"), filename);
    return path;
  };
  const std::string unknown_plugin = with_plugin("liborvo2_no_such_plugin.so");
  const std::string no_entry = with_plugin(ORVO2_SIM_LIB);

  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases{
      {{"/nonexistent/world.sdf"}, "orvosim: cannot read file '/nonexistent/world.sdf'"},
      {{malformed}, "orvosim: '" + malformed + "': "},
      {{"--fast", unknown_plugin}, "cannot load plug-in library 'liborvo2_no_such_plugin.so'"},
      {{"--fast", no_entry}, "plug-in library '" ORVO2_SIM_LIB "' has no RegisterPlugin entry point"},
      {{"--steps", "ten", data_file("pd_arm.sdf")}, "--steps 'ten' is not a positive integer"},
      {{"--step", "0", data_file("pd_arm.sdf")}, "--step '0' is not a step in seconds"},
      {{"--fast"}, "no description file given"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    Orvosim sim(c.args);
    ASSERT_TRUE(sim.wait_for_exit(30s));
    EXPECT_EQ(sim.exit_code(), 1);
    EXPECT_THAT(sim.errors(), HasSubstr(c.message));
  }
  for (const std::string& path : {malformed, unknown_plugin, no_entry}) std::remove(path.c_str());
}

// The channel pairs devices by name and type and holds names of 63
// characters: the plug-ins leave out what it cannot serve and run on.
TEST(Orvosim, PluginsLeaveOutDevicesTheChannelCannotServe) {
  const std::string long_name(64, 'j');
  const std::string world = temp_path("unservable.sdf");
  std::ofstream(world) << R"(<sdf version="1.7"><world name="w"><model name="m">
    <link name="base"><inertial><mass>1</mass></inertial><sensor name="imu" type="imu"/></link>
    <link name="tip"><pose>0 0 1 0 0 0</pose><inertial><mass>1</mass></inertial><sensor name="imu" type="imu"/></link>
    <joint name="fix" type="fixed"><parent>world</parent><child>base</child></joint>
    <joint name=")" + long_name + R"(" type="revolute"><parent>base</parent><child>tip</child>
      <axis><xyz>0 1 0</xyz></axis></joint>
    <plugin name="imu" filename="liborvo2_gz_imu_server.so"/>
    <plugin name="joints" filename="liborvo2_gz_joint_server.so"/>
  </model></world></sdf>)";

  Orvosim sim({"--fast", "--steps", "200", world});
  ASSERT_TRUE(sim.wait_for_exit(30s));
  EXPECT_EQ(sim.exit_code(), 0) << sim.errors();
  EXPECT_THAT(sim.errors(), HasSubstr("device 'imu' of type 'imu_gz' left out of the channel: an earlier device "
                                      "has that name and type\n"));
  EXPECT_THAT(sim.errors(), HasSubstr("device '" + long_name + "' of type 'joint_gz' left out of the channel: its "
                                      "name has 64 characters, at most 63 fit\n"));
  EXPECT_THAT(sim.output(), HasSubstr("orvosim: stopped after 200 steps"));
  std::remove(world.c_str());
}

// pd_arm.sdf with the joint and IMU servers beside the test plug-in: two
// device channels in /dev/shm while it runs.
std::string pd_arm_with_channels() {
  const std::string path = temp_path("channels.sdf");
  std::ofstream(path) << std::regex_replace(OrvoTest::read_file(data_file("pd_arm.sdf")), std::regex("</model>"),
                                            "<plugin name='joints' filename='liborvo2_gz_joint_server.so'/>"
                                            "<plugin name='imu' filename='liborvo2_gz_imu_server.so'/></model>");
  return path;
}

bool shm_exists(const std::string& name) { return ::access(("/dev/shm/" + name).c_str(), F_OK) == 0; }

// A service manager stops with SIGTERM, a closed terminal with SIGHUP: every
// stop signal ends the run in order and the plug-ins remove their channels.
TEST(Orvosim, EveryStopSignalEndsTheRunInOrderAndRemovesItsChannels) {
  const std::string world = pd_arm_with_channels();
  for (const int stop_signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) {
    SCOPED_TRACE(strsignal(stop_signal));
    Orvosim sim({world});
    ASSERT_TRUE(sim.wait_for_output("orvosim: world 'pd_world'", 30s)) << sim.errors();
    std::this_thread::sleep_for(200ms);
    EXPECT_TRUE(sim.running());
    EXPECT_TRUE(shm_exists("orvo2_joint_gz") && shm_exists("orvo2_imu_gz"));
    sim.signal(stop_signal);
    ASSERT_TRUE(sim.wait_for_exit(10s));
    EXPECT_EQ(sim.exit_code(), 0) << sim.errors();
    const std::string out = sim.output();
    EXPECT_THAT(out, HasSubstr("pd_test: updates "));  // the plug-in was destroyed
    EXPECT_THAT(out, HasSubstr("orvosim: stopped after "));
    EXPECT_FALSE(shm_exists("orvo2_joint_gz") || shm_exists("orvo2_imu_gz"));
    ::shm_unlink("/orvo2_joint_gz");
    ::shm_unlink("/orvo2_imu_gz");
  }
  std::remove(world.c_str());
}

// Anyone may fill /dev/shm: a channel that finds no room for its segment is
// an error naming it, never a SIGBUS at its first write, and leaves nothing.
// orvosim runs on a full 4 kB tmpfs in a mount namespace of its own.
TEST(Orvosim, FullSharedMemoryIsAnErrorNamingTheSegmentAndLeavesNothing) {
  const std::string world = pd_arm_with_channels();
  const std::string script =
      "mount -t tmpfs -o size=4k,mode=1777 orvo2-full-shm /dev/shm || exit 99\n"
      "head -c 4096 /dev/zero > /dev/shm/filler || true\n"
      "\"$0\" \"$1\"; echo \"orvosim status $?\"\n"
      "ls /dev/shm | grep -v '^filler$' | sed 's/^/left: /'\n";
  OrvoTest::ChildProcess run({"/usr/bin/unshare", "--mount", "/bin/sh", "-c", script, ORVOSIM_PATH, world});
  ASSERT_TRUE(run.wait_for_exit(30s)) << run.output() << run.errors();
  if (run.exit_code() != 0 || run.errors().find("unshare") != std::string::npos) {
    GTEST_SKIP() << "no private mount namespace here: " << run.errors();
  }
  EXPECT_THAT(run.output(), HasSubstr("orvosim status 1\n")) << run.errors();
  EXPECT_THAT(run.errors(), testing::ContainsRegex("ServerManager: channel '[a-z_]+': cannot create shared memory "
                                                  "'/orvo2_[a-z_]+' of [0-9]+ bytes: No space left on device"));
  EXPECT_THAT(run.output(), testing::Not(HasSubstr("left: ")));
  std::remove(world.c_str());
}
