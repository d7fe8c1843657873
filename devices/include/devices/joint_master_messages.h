#pragma once
// The joint master's messages live with the runtime, which reads them too;
// this path stays for code that includes them from here.

#include "orvo2/joint_master_messages.h"
