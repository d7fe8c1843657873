#include "ros_arguments.h"

#include <stdexcept>

#include "framework/typed/parameter.h"

namespace Orvo {

namespace {

const char* const kRosArgs = "/orvo_internal/ros_args";

}  // namespace

std::vector<std::string> take_ros_arguments(int& argc, char** argv) {
  std::vector<std::string> taken;
  int kept = argc > 0 ? 1 : 0;  // the program's name stays
  for (int i = kept; i < argc; ++i) {
    if (std::string(argv[i]).find(":=") != std::string::npos) {
      taken.emplace_back(argv[i]);
    } else {
      argv[kept++] = argv[i];
    }
  }
  argc = kept;
  return taken;
}

void publish_ros_arguments(ParameterManager& params, const std::vector<std::string>& args) {
  if (args.empty()) {
    return;
  }
  std::vector<std::string> all = params.getParamOr<std::vector<std::string>>(kRosArgs, {});
  all.insert(all.end(), args.begin(), args.end());
  if (!params.setParam<std::vector<std::string>>(kRosArgs, all)) {
    throw std::runtime_error(std::string("parameter '") + kRosArgs + "' exists with another type");
  }
}

}  // namespace Orvo
