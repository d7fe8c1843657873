#pragma once
// The configuration's extra framework parameters ("parameters").

#include "orvo2/configuration/config_parser.h"

namespace Orvo {

class ParameterManager;

// Main thread, set-up, before the worker threads are built. Sets each
// parameter with its own type. Absolute names ("/x") are kept; other names
// are resolved as the framework's privileged tasks resolve them, in the
// namespace "orvo_internal" (so "ros_io/call_timeout" reaches the bridge).
// Throws std::runtime_error naming the parameter when the name holds a
// value of another type.
void publish_extra_parameters(ParameterManager& params, const ConfigValueMap& values);

}  // namespace Orvo
