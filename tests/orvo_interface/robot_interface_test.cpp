#include <gtest/gtest.h>
#include <dlfcn.h>

#include <stdexcept>

#include "orvo_interface/config_options.h"
#include "orvo_interface/robot_interface.h"

namespace {

const std::string kExample = std::string(ORVO2_EXAMPLES_DIR) + "/dummy_robot/config.yaml";

// Counters kept by the test back end (libRobotInterfaceTest.so), read once
// MakeInstance has loaded it.
int backend_counter(const char* name) {
  void* handle = ::dlopen(TEST_BACKEND_FILE, RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) {
    return -1;
  }
  auto counter = reinterpret_cast<int (*)()>(::dlsym(handle, name));
  const int value = counter ? counter() : -1;
  ::dlclose(handle);
  return value;
}

Orvo::ConfigOptions options_with(const std::string& framework) {
  auto options = Orvo::ConfigOptions::FromConfigFile(kExample);
  options.set_parameter("framework", framework);
  return options;
}

std::string error_of(const Orvo::ConfigOptions& options) {
  try {
    Orvo::RobotInterface::MakeInstance(options);
  } catch (const std::runtime_error& e) {
    return e.what();
  }
  return "no error";
}

class RobotInterfaceTest : public ::testing::Test {
protected:
  void TearDown() override { Orvo::RobotInterface::clearRobotMap(); }
};

TEST_F(RobotInterfaceTest, MadeByNameKeptByTheRegistryDestroyedOnce) {
  auto robot = Orvo::RobotInterface::MakeInstance(options_with("Test"));
  ASSERT_TRUE(robot);
  const int created = backend_counter("test_backend_created");
  const int destroyed = backend_counter("test_backend_destroyed");
  const int destroy_calls = backend_counter("test_backend_destroy_calls");
  ASSERT_GE(created, 1);

  // The back end was initialised with the options: the model is there.
  EXPECT_EQ(robot->getJointNum(), 6);
  EXPECT_EQ(robot->model().getJointByName("wrist_yaw")->getJointId(), 6);
  EXPECT_NE(robot->getUrdfString().find("dummy_arm"), std::string::npos);
  EXPECT_TRUE(robot->sense());
  EXPECT_TRUE(robot->move());

  // Dropping our reference leaves the registry's.
  robot.reset();
  EXPECT_EQ(backend_counter("test_backend_destroyed"), destroyed);
  Orvo::RobotInterface::clearRobotMap();
  EXPECT_EQ(backend_counter("test_backend_destroyed"), destroyed + 1);
  EXPECT_EQ(backend_counter("test_backend_destroy_calls"), destroy_calls + 1);

  // A robot still held outlives clearRobotMap and is destroyed once, later.
  auto held = Orvo::RobotInterface::MakeInstance(options_with("Test"));
  Orvo::RobotInterface::clearRobotMap();
  Orvo::RobotInterface::clearRobotMap();
  EXPECT_EQ(backend_counter("test_backend_destroyed"), destroyed + 1);
  held.reset();
  EXPECT_EQ(backend_counter("test_backend_destroyed"), destroyed + 2);
  EXPECT_EQ(backend_counter("test_backend_destroy_calls"), destroy_calls + 2);
  EXPECT_EQ(backend_counter("test_backend_created"), created + 1);
}

TEST_F(RobotInterfaceTest, ControlModesPerJointAndForAll) {
  auto robot = Orvo::RobotInterface::MakeInstance(options_with("Test"));
  using M = Orvo::ControlMode;
  ASSERT_EQ(robot->getControlModes().size(), 6u);
  for (const M& mode : robot->getControlModes()) {
    EXPECT_EQ(mode, M::Idle());
  }
  EXPECT_TRUE(robot->setControlMode(M::Position() + M::Velocity()));
  EXPECT_TRUE(robot->setControlMode("elbow_pitch", M::Effort()));
  EXPECT_FALSE(robot->setControlMode("world_fixed", M::Effort()));
  M mode;
  ASSERT_TRUE(robot->getControlMode("elbow_pitch", mode));
  EXPECT_EQ(mode, M::Effort());
  ASSERT_TRUE(robot->getControlMode("wrist_yaw", mode));
  EXPECT_EQ(mode, M::Position() + M::Velocity());
  EXPECT_FALSE(robot->getControlMode("nothing", mode));
  EXPECT_EQ(robot->getControlModes()[2], M::Effort());  // elbow_pitch is the third joint
}

TEST_F(RobotInterfaceTest, ClearErrorsAndNoLeakOnFailedSetUp) {
  EXPECT_NE(error_of(Orvo::ConfigOptions::FromConfigFile(kExample))
                .find("has no string parameter 'framework'"),
            std::string::npos);
  EXPECT_NE(error_of(options_with("Nowhere")).find("unable to find robot back end 'libRobotInterfaceNowhere.so'"),
            std::string::npos);
  EXPECT_NE(error_of(options_with("NoDestroy")).find("has no entry point 'destroy_instance'"),
            std::string::npos);

  auto robot = Orvo::RobotInterface::MakeInstance(options_with("Test"));  // loads the back end
  robot.reset();
  Orvo::RobotInterface::clearRobotMap();
  const int destroyed = backend_counter("test_backend_destroyed");

  auto refused = options_with("Test");
  refused.set_parameter("test_fail_init", true);
  EXPECT_NE(error_of(refused).find("failed to initialise from '" + kExample + "'"), std::string::npos);
  auto throwing = options_with("Test");
  throwing.set_parameter("test_throw_init", true);
  EXPECT_NE(error_of(throwing).find("test back end refuses"), std::string::npos);
  // Both refused robots went back to the library at once, and were not registered.
  EXPECT_EQ(backend_counter("test_backend_destroyed"), destroyed + 2);
  Orvo::RobotInterface::clearRobotMap();
  EXPECT_EQ(backend_counter("test_backend_destroyed"), destroyed + 2);
}

}  // namespace
