#pragma once
// For a test program that uses roscpp in its own process: a private ROS master
// for the whole program and ROS initialised once against it (node
// "<tag>_<pid>", no SIGINT handler); ROS is shut down, then the master
// stopped, after the last test. Register it once per program:
//
//   static auto* const ros_env = ::testing::AddGlobalTestEnvironment(
//       new OrvoTest::RosTestEnvironment("ros_control_test"));

#include <unistd.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <ros/init.h>

#include "ros_master.h"

namespace OrvoTest {

class RosTestEnvironment : public ::testing::Environment {
public:
  explicit RosTestEnvironment(std::string tag) : _tag(std::move(tag)) {}

  void SetUp() override {
    _master = std::make_unique<RosMaster>(_tag);
    int argc = 0;
    ros::init(argc, nullptr, _tag + "_" + std::to_string(::getpid()), ros::init_options::NoSigintHandler);
  }

  void TearDown() override {
    ros::shutdown();
    _master.reset();
  }

private:
  std::string _tag;
  std::unique_ptr<RosMaster> _master;
};

}  // namespace OrvoTest
