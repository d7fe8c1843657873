// A control plug-in outside the source tree, built against the installed
// framework. It starts by itself and says so once it runs.
#include <orvo2.h>

#include "orvo2/loading/control_plugin_library.h"

namespace {

class OutsidePlugin : public Orvo::ControlPlugin {
public:
  using ControlPlugin::ControlPlugin;

  bool on_initialize() override {
    setAutostart(true);
    return true;
  }

  void run() override {
    if (!_reported) {
      _reported = true;
      jhigh().jok("outside plug-in '{}' running \n", getName());
    }
  }

private:
  bool _reported = false;
};

}  // namespace

ORVO2_CONTROL_PLUGIN(outside, OutsidePlugin)
