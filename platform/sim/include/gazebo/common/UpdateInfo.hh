#pragma once
// What the world tells the world-update callbacks about the current step.

#include <string>

#include "gazebo/common/Time.hh"

namespace gazebo {
namespace common {

class UpdateInfo {
public:
  std::string worldName;
  Time simTime;   // simulated time at the start of the step
  Time realTime;  // wall time since the world started stepping
};

}  // namespace common
}  // namespace gazebo
