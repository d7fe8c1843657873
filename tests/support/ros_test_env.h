#pragma once
// The process helpers of the ROS benchmarks under their earlier name: a child
// process, a private rosmaster and the bounded wait.

#include "bounded_wait.h"
#include "child_process.h"
#include "ros_master.h"
