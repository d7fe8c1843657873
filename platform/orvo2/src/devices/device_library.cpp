// Loading of device libraries by device type: liborvodev_<type>.so with its
// three entry points orvo2_get_dev_abi_version_<type>,
// orvo2_create_dev_cli_<type> and orvo2_create_dev_dri_<type>.

#include <stdexcept>

#include "orvo2/devices/device_container_base.h"
#include "orvo2/loading/library_loader.h"

namespace Orvo {
namespace Hal {
namespace {

using VersionFn = void (*)(int&, int&, int&);
using FactoryFn = DeviceContainerBase* (*)(std::vector<DeviceInfo>);

// The type becomes part of a file name and of symbol names: only letters,
// digits and underscores, so that it cannot reach outside the search path.
void check_device_type(const std::string& type) {
  bool valid = !type.empty();
  for (char c : type) {
    const bool alnum = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    valid = valid && (alnum || c == '_');
  }
  if (!valid) {
    throw std::invalid_argument("invalid device type '" + type +
                                "': only letters, digits and '_' are allowed");
  }
}

std::unique_ptr<DeviceContainerBase> make_container(const std::string& type,
                                                    std::vector<DeviceInfo> infos,
                                                    const std::string& factory_prefix) {
  check_device_type(type);
  const SharedLibrary library("liborvodev_" + type + ".so");

  const std::string version_name = "orvo2_get_dev_abi_version_" + type;
  int major = 0;
  int minor = 0;
  int patch = 0;
  library.function<VersionFn>(version_name)(major, minor, patch);
  check_abi_version(library, version_name, major, minor, patch);

  const FactoryFn factory = library.function<FactoryFn>(factory_prefix + type);
  return std::unique_ptr<DeviceContainerBase>(factory(std::move(infos)));
}

}  // namespace

std::unique_ptr<DeviceContainerBase> DeviceContainerBase::MakeClient(const std::string& type,
                                                                     std::vector<DeviceInfo> infos) {
  return make_container(type, std::move(infos), "orvo2_create_dev_cli_");
}

std::unique_ptr<DeviceContainerBase> DeviceContainerBase::MakeDriver(const std::string& type,
                                                                     std::vector<DeviceInfo> infos) {
  return make_container(type, std::move(infos), "orvo2_create_dev_dri_");
}

}  // namespace Hal
}  // namespace Orvo
