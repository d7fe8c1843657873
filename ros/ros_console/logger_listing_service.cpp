#include "logger_listing_service.h"

#include <memory>
#include <string>

#include <ros/advertise_service_options.h>
#include <ros/callback_queue.h>
#include <ros/init.h>
#include <ros/names.h>
#include <ros/service_manager.h>
#include <ros/spinner.h>
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

struct LoggerListingService {
  LoggerListingService() : spinner(1, &queue) {
    const std::string name = ros::names::resolve("~get_loggers");
    ros::ServiceManager::instance()->unadvertiseService(name);
    ros::AdvertiseServiceOptions options;
    options.init<roscpp::GetLoggers::Request, roscpp::GetLoggers::Response>(name, &list_loggers);
    options.callback_queue = &queue;
    ros::ServiceManager::instance()->advertiseService(options);
    spinner.start();
  }

  ros::CallbackQueue queue;
  ros::AsyncSpinner spinner;
};

}  // namespace

void serve_logger_listing_service() {
  // Never destroyed: no exit handler may stop the spinner thread while ROS
  // ends on its own.
  static const LoggerListingService* const service = [] {
    ros::start();
    return new LoggerListingService();
  }();
  (void)service;
}

}  // namespace Orvo
