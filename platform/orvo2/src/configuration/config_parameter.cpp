#include "orvo2/configuration/config_parameter.h"

#include <variant>

#include "framework/typed/parameter.h"

namespace Orvo {

bool set_config_parameter(ParameterManager& params, const std::string& name, const ConfigValue& value) {
  return std::visit(
      [&](const auto& typed) {
        using T = std::decay_t<decltype(typed)>;
        return params.setParam<T>(name, typed);
      },
      value);
}

}  // namespace Orvo
