#include "plugin_robot.h"

#include "framework/typed/parameter.h"
#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"
#include "orvo2/robot/robot_interface_orvo2rt.h"
#include "orvo_interface/config_options.h"
#include "orvo_interface/robot_interface.h"

namespace Orvo {

std::shared_ptr<RobotInterface> make_plugin_robot(const std::string& task) {
  const char* const options_param = "/orvo_internal/hal/robot_ifc_cfg";
  ConfigOptions options;
  const auto handle = Context().paramManager().findParam<ConfigOptions>(options_param);
  if (!handle || !handle->get(options)) {
    Context().journal().jhigh().jwarn("task '{}' gets no robot interface: the parameter '{}' is not set \n",
                                      task, options_param);
    return nullptr;
  }
  std::shared_ptr<RobotInterface> robot = RobotInterface::MakeInstance(options);
  if (auto realtime = std::dynamic_pointer_cast<RobotInterfaceOrvo2Rt>(robot)) {
    realtime->setOwner(task);
  }
  return robot;
}

}  // namespace Orvo
