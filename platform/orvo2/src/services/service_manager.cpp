#include "orvo2/services/service_manager.h"

#include "orvo2/context/context.h"

namespace Orvo {

// Never destroyed: worker threads still calling at exit never see a destroyed registry.
ServiceManager& Context::serviceManager() const {
  static ServiceManager* services = new ServiceManager;
  return *services;
}

}  // namespace Orvo
