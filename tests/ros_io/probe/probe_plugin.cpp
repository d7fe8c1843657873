// A control plug-in that does nothing but go through its lifecycle: the task
// the bridge's tests start, halt, query and abort.

#include "orvo2/loading/control_plugin_library.h"

namespace Orvo {

class RosioProbe : public ControlPlugin {
public:
  explicit RosioProbe(const ControlPlugin::Args& args) : ControlPlugin(args) {}
};

}  // namespace Orvo

ORVO2_CONTROL_PLUGIN(rosio_probe, Orvo::RosioProbe)
