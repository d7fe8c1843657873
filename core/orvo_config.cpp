#include "orvo_config.h"

#include <cstdlib>
#include <fstream>

#include "orvo_interface/logger.h"

namespace Orvo {
namespace Utils {

std::string getOrvoConfig() {
  const char* variable = std::getenv("ORVO_CONFIG");
  if (variable == nullptr) {
    Logger::warning(1) << "WARNING in " << "getOrvoConfig" << " : ORVO_CONFIG env variable not set."
                       << Logger::endl;
    return std::string();
  }
  Logger::info(-1) << "$ORVO_CONFIG" << " -> " << variable << Logger::endl;

  char line[300] = {};
  std::ifstream file(variable);
  if (file.is_open()) {
    file.getline(line, sizeof(line), '\n');  // keeps at most 299 characters
  }
  Logger::info(-1) << "getOrvoConfig" << " -> " << line << Logger::endl;
  return std::string(line);
}

}  // namespace Utils
}  // namespace Orvo
