// Entry points of libRobotInterfaceOrvo2Rt, found by name by the robot-model
// library. Both run at set-up or tear-down, never in a control cycle.

#include "orvo2/robot/robot_interface_orvo2rt.h"

#define ORVO2_ROBOT_INTERFACE_EXPORT extern "C" __attribute__((visibility("default")))

// Allocates; a constructor that throws frees the memory and the exception
// passes to the caller. The caller owns the result and gives it back to
// destroy_instance.
ORVO2_ROBOT_INTERFACE_EXPORT Orvo::RobotInterface* create_instance() {
  return new Orvo::RobotInterfaceOrvo2Rt();
}

// Deletes an object of create_instance through its virtual destructor; null
// is ignored.
ORVO2_ROBOT_INTERFACE_EXPORT void destroy_instance(Orvo::RobotInterface* robot) {
  if (robot != nullptr) {
    delete robot;
  }
}
