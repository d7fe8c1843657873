#pragma once
// Typed configuration values (ConfigValue) written as framework parameters.

#include <string>

#include "orvo2/configuration/config_parser.h"

namespace Orvo {

class ParameterManager;

// Set-up only; allocates. Sets the parameter `name` (a full name) to the
// value with the value's own C++ type; false, with the registry's journal
// entry, when the name holds another type.
bool set_config_parameter(ParameterManager& params, const std::string& name, const ConfigValue& value);

}  // namespace Orvo
