#include "console_loggers.h"

#include <log4cxx/level.h>
#include <log4cxx/logger.h>
#include <log4cxx/logmanager.h>

namespace Orvo {

namespace {

ros::console::levels::Level console_level(const log4cxx::LevelPtr& level) {
  if (!level || level->toInt() <= log4cxx::Level::DEBUG_INT) {
    return ros::console::levels::Debug;
  }
  if (level->toInt() <= log4cxx::Level::INFO_INT) {
    return ros::console::levels::Info;
  }
  if (level->toInt() <= log4cxx::Level::WARN_INT) {
    return ros::console::levels::Warn;
  }
  if (level->toInt() <= log4cxx::Level::ERROR_INT) {
    return ros::console::levels::Error;
  }
  return ros::console::levels::Fatal;
}

}  // namespace

std::map<std::string, ros::console::levels::Level> console_loggers() {
  ros::console::initialize();
  std::map<std::string, ros::console::levels::Level> loggers;
  for (const auto& logger : log4cxx::LogManager::getCurrentLoggers()) {
    loggers.emplace(logger->getName(), console_level(logger->getEffectiveLevel()));
  }
  return loggers;
}

}  // namespace Orvo
