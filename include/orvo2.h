#pragma once
// Everything a plug-in or device library of the framework needs, in one include.

#include "framework/callback_queue_runnable.h"
#include "framework/condition_variable.h"
#include "framework/debug.h"
#include "framework/device_info.h"
#include "framework/multireader_mutex.h"
#include "framework/mutex.h"
#include "framework/thread.h"
#include "framework/thread_id.h"

#include "orvo2/callback_queue.h"
#include "orvo2/context.h"
#include "orvo2/control_plugin.h"
#include "orvo2/control_plugin_library.h"
#include "orvo2/demangle.h"
#include "orvo2/device_base.h"
#include "orvo2/device_rt.h"
#include "orvo2/joint_base.h"
#include "orvo2/joint_tx_limits.h"
#include "orvo2/journal.h"
#include "orvo2/library_loader.h"
#include "orvo2/simulated_clock.h"
#include "orvo2/task.h"

#include "devices/device_tpl_common.h"
#include "devices/joint_records.h"
#include "devices/sensor_records.h"
