#include "realtime_scheduling.h"

#include <pthread.h>
#include <sched.h>

#include <cstring>

namespace Orvo {

void apply_scheduling(const std::string& thread, const SchedArgs& sched, bool realtime, Journal& journal) {
  if (!realtime || sched.policy == SCHED_OTHER) {
    return;
  }
  sched_param param{};
  param.sched_priority = sched.priority;
  const int rc = pthread_setschedparam(pthread_self(), sched.policy, &param);
  if (rc != 0) {
    journal.jhigh().jwarn(
        "thread '{}': real-time scheduling (policy {}, priority {}) refused: {}; running with SCHED_OTHER \n",
        thread, sched.policy, sched.priority, std::strerror(rc));
  }
}

}  // namespace Orvo
