#pragma once
// A test plug-in's parameter from its task's configuration.

#include <variant>

#include "orvo2/configuration/config_parser.h"

namespace OrvoTest {

// The parameter `name` of `params`, or `fallback` when it is not given or
// holds a value of another type.
template <typename T>
T param_or(const Orvo::ConfigValueMap& params, const char* name, T fallback) {
  const auto it = params.find(name);
  if (it == params.end()) {
    return fallback;
  }
  const T* value = std::get_if<T>(&it->second);
  return value == nullptr ? fallback : *value;
}

}  // namespace OrvoTest
