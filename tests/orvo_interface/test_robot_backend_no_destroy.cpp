// A broken robot back end: it can make robots but not destroy them.
#include "orvo_interface/robot_interface.h"

extern "C" Orvo::RobotInterface* create_instance() { return nullptr; }
