// A robot back end for the tests: counts what happens to it, fails its
// set-up when the options ask for it.
#include <atomic>
#include <stdexcept>

#include "orvo_interface/config_options.h"
#include "orvo_interface/robot_interface.h"

namespace {

std::atomic<int> g_created{0};
std::atomic<int> g_destroyed{0};
std::atomic<int> g_destroy_calls{0};

class TestRobot : public Orvo::RobotInterface {
public:
  TestRobot() { ++g_created; }
  ~TestRobot() override { ++g_destroyed; }

  bool sense() override { return true; }
  bool move() override { return true; }

protected:
  bool init_robot(const Orvo::ConfigOptions& options) override {
    bool flag = false;
    if (options.get_parameter("test_throw_init", flag) && flag) {
      throw std::runtime_error("test back end refuses");
    }
    return !(options.get_parameter("test_fail_init", flag) && flag);
  }
};

}  // namespace

extern "C" {
Orvo::RobotInterface* create_instance() { return new TestRobot; }
void destroy_instance(Orvo::RobotInterface* robot) {
  ++g_destroy_calls;
  delete robot;
}
int test_backend_created() { return g_created.load(); }
int test_backend_destroyed() { return g_destroyed.load(); }
int test_backend_destroy_calls() { return g_destroy_calls.load(); }
}
