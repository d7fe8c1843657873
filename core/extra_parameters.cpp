#include "extra_parameters.h"

#include <stdexcept>

#include <fmt/format.h>

#include "orvo2/configuration/config_parameter.h"
#include "orvo2/tasks/task.h"

namespace Orvo {

void publish_extra_parameters(ParameterManager& params, const ConfigValueMap& values) {
  Task launcher("orvocore", "", {}, true);
  launcher.setNamespace("orvo_internal");
  for (const auto& entry : values) {
    const std::string name = launcher.resolveName(entry.first);
    if (!set_config_parameter(params, name, entry.second)) {
      throw std::runtime_error(fmt::format("parameter '{}' exists with another type", name));
    }
  }
}

}  // namespace Orvo
