#include "dummy_api.h"

#include <stdexcept>

namespace Orvo {
namespace Hal {

DummyApi::DummyApi(const DeviceInfo& info) : Device(info) {
  throw std::runtime_error("cannot instantiate API for JointMaster");
}

}  // namespace Hal
}  // namespace Orvo
