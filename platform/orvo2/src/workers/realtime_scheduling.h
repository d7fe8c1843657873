#pragma once
// Scheduling of a worker thread.

#include <string>

#include "orvo2/configuration/config_parser.h"
#include "orvo2/context/journal.h"

namespace Orvo {

// The worker thread itself, before its first cycle. Applies the configured
// policy and priority to the calling thread when `realtime` is set; when the
// system refuses them, logs a warning and keeps SCHED_OTHER.
void apply_scheduling(const std::string& thread, const SchedArgs& sched, bool realtime, Journal& journal);

}  // namespace Orvo
