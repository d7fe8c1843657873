#include "logger_listing_service.h"

#include <string>

#include <ros/advertise_service_options.h>
#include <ros/init.h>
#include <ros/names.h>
#include <ros/service_manager.h>
#include <roscpp/GetLoggers.h>

#include "console_loggers.h"

namespace Orvo {

namespace {

const char* level_name(ros::console::levels::Level level) {
  switch (level) {
    case ros::console::levels::Debug:
      return "debug";
    case ros::console::levels::Info:
      return "info";
    case ros::console::levels::Warn:
      return "warn";
    case ros::console::levels::Error:
      return "error";
    default:
      return "fatal";
  }
}

bool list_loggers(roscpp::GetLoggers::Request&, roscpp::GetLoggers::Response& response) {
  for (const auto& [name, level] : console_loggers()) {
    roscpp::Logger logger;
    logger.name = name;
    logger.level = level_name(level);
    response.loggers.push_back(std::move(logger));
  }
  return true;
}

}  // namespace

LoggerListingService::LoggerListingService()
    : _name(ros::names::resolve("~get_loggers")), _spinner(1, &_queue) {
  ros::ServiceManager::instance()->unadvertiseService(_name);
  ros::AdvertiseServiceOptions options;
  options.init<roscpp::GetLoggers::Request, roscpp::GetLoggers::Response>(_name, &list_loggers);
  options.callback_queue = &_queue;
  ros::ServiceManager::instance()->advertiseService(options);
  _spinner.start();
}

LoggerListingService::~LoggerListingService() {
  ros::ServiceManager::instance()->unadvertiseService(_name);
  _spinner.stop();
}

}  // namespace Orvo
