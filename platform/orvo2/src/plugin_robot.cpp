#include "plugin_robot.h"

#include <unistd.h>

#include "framework/parameter.h"
#include "orvo2/context.h"
#include "orvo2/journal.h"
#include "orvo2/library_loader.h"
#include "orvo_interface/config_options.h"
#include "orvo_interface/robot_interface.h"

namespace Orvo {
namespace {

const char* const options_param = "/orvo_internal/hal/robot_ifc_cfg";

bool on_search_path(const std::string& file_name) {
  for (const std::string& folder : SharedLibrary::search_path()) {
    if (::access((folder + "/" + file_name).c_str(), R_OK) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace

std::shared_ptr<RobotInterface> make_plugin_robot(const std::string& task) {
  Journal& journal = Context().journal();
  ConfigOptions options;
  const auto handle = Context().paramManager().findParam<ConfigOptions>(options_param);
  if (!handle || !handle->get(options)) {
    journal.jhigh().jwarn("task '{}' gets no robot interface: the parameter '{}' is not set \n", task,
                          options_param);
    return nullptr;
  }
  // Interim path, see the header.
  std::string framework;
  options.get_parameter("framework", framework);
  const std::string library = "libRobotInterface" + framework + ".so";
  if (!framework.empty() && !on_search_path(library)) {
    journal.jhigh().jwarn("task '{}' gets no robot interface: the robot back end '{}' is not available \n", task,
                          library);
    return nullptr;
  }
  return RobotInterface::MakeInstance(options);
}

}  // namespace Orvo
