// Building worlds from descriptions, loading plug-ins by name, the clock sender.

#include <fcntl.h>
#include <mqueue.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <gazebo/common/Events.hh>
#include <gazebo/physics/physics.hh>

#include "orvo2/sim/clock_sender.h"
#include "orvo2/sim/plugin_host.h"
#include "orvo2/sim/world_loader.h"
#include "sim_test_models.h"

using testing::HasSubstr;
using testing::ThrowsMessage;

namespace {

std::string load_error(const std::string& text) {
  try {
    Orvo::load_sim_world_from_string(text, "bad model");
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no error";
}

std::string plugin_error(const std::string& filename) {
  std::string text = sim_test::one_joint_model("revolute", "");
  text.replace(text.find("</model>"), 8, "<plugin name=\"p\" filename=\"" + filename + "\"/></model>");
  auto world = Orvo::load_sim_world_from_string(text, "plugin model");
  try {
    Orvo::SimPluginHost host;
    host.load_all(world);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace

TEST(SimLoading, BadDescriptionsAreClearErrors) {
  try {
    Orvo::load_sim_world("/nonexistent/orvo2_sim.sdf");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_THAT(e.what(), HasSubstr("'/nonexistent/orvo2_sim.sdf'"));
  }
  const std::string path = testing::TempDir() + "orvo2_sim_bad_" + std::to_string(getpid()) + ".sdf";
  std::ofstream(path) << "<sdf version='1.7'><model name='m'><link name='a'>";
  try {
    Orvo::load_sim_world(path);
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_THAT(e.what(), HasSubstr(path));
  }
  std::remove(path.c_str());

  EXPECT_THAT(load_error(sim_test::one_joint_model("ball", "")),
              HasSubstr("joint 'j': type 'ball' is not simulated"));
  EXPECT_THAT(load_error("<sdf version='1.7'><light name='l' type='point'/></sdf>"),
              HasSubstr("'bad model': holds neither a world nor a model"));
  EXPECT_THAT(load_error(sim_test::one_joint_model("revolute", "<limit><lower>1</lower><upper>-1</upper></limit>")),
              HasSubstr("joint 'j': lower limit"));
}

TEST(SimLoading, PluginIsLoadedByNameDrivenAndUnloaded) {
  auto world = Orvo::load_sim_world(sim_test::data_file("pd_arm.sdf"));
  testing::internal::CaptureStdout();
  {
    Orvo::SimPluginHost host;
    host.load_all(world);  // found through ORVO2_PLUGIN_PATH
    EXPECT_EQ(host.size(), 1u);
    EXPECT_EQ(gazebo::event::Events::worldUpdateBegin.ConnectionCount(), 1u);
    world->Step(3000);
  }
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_EQ(gazebo::event::Events::worldUpdateBegin.ConnectionCount(), 0u);
  EXPECT_THAT(out, HasSubstr("pd_test: gain 'shoulder' p=50 d=5 target=0.5"));
  EXPECT_THAT(out, HasSubstr("pd_test: updates 3000\n"));
  auto model = world->ModelByName("pd_arm");
  EXPECT_NEAR(model->GetJoint("shoulder")->Position(0), 0.5, 1e-3);
  EXPECT_NEAR(model->GetJoint("elbow")->Position(0), -0.3, 1e-3);
}

TEST(SimLoading, BadPluginsAreClearErrors) {
  EXPECT_THAT(plugin_error("liborvo2_no_such_plugin.so"),
              HasSubstr("cannot load plug-in library 'liborvo2_no_such_plugin.so'"));
  EXPECT_THAT(plugin_error(ORVO2_SIM_LIB),
              HasSubstr("plug-in library '" ORVO2_SIM_LIB "' has no RegisterPlugin entry point"));
}

TEST(SimClockSender, SendsEightByteTimesAndDropsWhenFull) {
  const std::string name = "/orvo2_sim_clock_test_" + std::to_string(getpid());
  {
    Orvo::SimClockSender sender(name);
    for (int64_t i = 1; i <= 12; ++i) EXPECT_EQ(sender.send(i * 1000000), i <= 10) << i;
    EXPECT_EQ(sender.dropped(), 2u);

    mqd_t reader = mq_open(name.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_NE(reader, static_cast<mqd_t>(-1));
    mq_attr attr{};
    ASSERT_EQ(mq_getattr(reader, &attr), 0);
    EXPECT_EQ(attr.mq_maxmsg, 10);
    EXPECT_EQ(attr.mq_msgsize, 8);
    char buffer[8];
    ASSERT_EQ(mq_receive(reader, buffer, sizeof buffer, nullptr), 8);
    int64_t first = 0;
    std::memcpy(&first, buffer, 8);
    EXPECT_EQ(first, 1000000);
    EXPECT_TRUE(sender.send(13000000));
    mq_close(reader);
  }
  mq_unlink(name.c_str());

  // A queue that others may write to is refused: they would decide the robot's time.
  mq_attr attr{};
  attr.mq_maxmsg = 10;
  attr.mq_msgsize = 8;
  const mode_t old_mask = umask(0);
  const mqd_t open_to_all = mq_open(name.c_str(), O_RDONLY | O_CREAT, 0622, &attr);
  umask(old_mask);
  ASSERT_NE(open_to_all, static_cast<mqd_t>(-1));
  mq_close(open_to_all);
  EXPECT_THAT([&] { Orvo::SimClockSender refused(name); },
              ThrowsMessage<std::runtime_error>(HasSubstr("clock queue '" + name + "' belongs to user " +
                                                          std::to_string(geteuid()) + " with mode 0622")));
  mq_unlink(name.c_str());
}
