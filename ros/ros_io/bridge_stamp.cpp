#include "bridge_stamp.h"

#include "joint_state_conversion.h"
#include "orvo2/clock/simulated_clock.h"

namespace Orvo {

ros::Time bridge_stamp() {
  using chrono::simulated_clock;
  if (simulated_clock::uses_sim_time()) {
    return stamp_to_ros_time(simulated_clock::now().time_since_epoch().count());
  }
  return ros::Time::now();
}

}  // namespace Orvo
