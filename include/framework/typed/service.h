#pragma once
// In-process services between threads: the typed service and its handles, and
// the template members of the registry (Orvo::ServiceManager) and of
// Orvo::Task that create them.

#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>

#include "framework/primitives/debug.h"
#include "framework/primitives/thread_id.h"
#include "framework/typed/callback_queue_runnable.h"
#include "framework/typed/service_client.h"
#include "framework/typed/service_empty.h"
#include "framework/typed/service_server.h"
#include "framework/typed/typed_service.h"
#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"
#include "orvo2/services/service_manager.h"
#include "orvo2/tasks/task.h"
#include "orvo2/type_names/demangle.h"

namespace Orvo {

template <typename Req, typename Res>
std::shared_ptr<ServiceServer<Req, Res>> ServiceManager::advertiseService(
    std::string name, std::function<bool(const Req&, Res&)> handler, CallbackQueue* queue) {
  if (!handler) {
    throw std::invalid_argument("Trying to advertise service '" + name + "' with an invalid callback");
  }
  std::lock_guard<mutex> registry_lock(_mutex);
  bool mismatch = false;
  auto service = find_service<Req, Res>(name, mismatch);
  if (mismatch) {
    throw std::logic_error("Service'" + name + "' exists with different type");
  }
  if (service && service->is_served()) {
    throw ServiceServerRedefinition("Attempting to advertise service '" + name + "' twice");
  }
  if (!service) {
    service = Service<Req, Res>::MakeInstance(name);
    _services.emplace(name, service);
  }
  auto server = service->make_server(std::move(handler));
  ORVO2_DEBUG_TRACE(0, "advertiseService", "Advertising service with name '{}' from thread '{}' \n", name,
                    thread_id());
  if (queue != nullptr) {
    queue->addRunnable(server);
  }
  _cond.notify_one();
  return server;
}

template <typename Req, typename Res, typename Obj>
std::shared_ptr<ServiceServer<Req, Res>> ServiceManager::advertiseService(std::string name,
                                                                          bool (Obj::*method)(const Req&, Res&),
                                                                          Obj* obj, CallbackQueue* queue) {
  // A null object or method leaves the handler empty, which is refused.
  std::function<bool(const Req&, Res&)> handler;
  if (obj != nullptr && method != nullptr) {
    handler = [obj, method](const Req& request, Res& response) { return (obj->*method)(request, response); };
  }
  return advertiseService<Req, Res>(std::move(name), std::move(handler), queue);
}

template <typename Req, typename Res>
std::shared_ptr<Service<Req, Res>> ServiceManager::find_service(std::string name, bool& mismatch) const {
  mismatch = false;
  const auto found = _services.find(name);
  if (found == _services.end()) {
    return nullptr;
  }
  auto service = std::dynamic_pointer_cast<Service<Req, Res>>(found->second);
  if (service) {
    return service;
  }
  mismatch = true;
  Context().journal().jhigh().vlog(Journal::Error,
                                   "[{}] service type mismatch for '{}': \n  requested: {} -> {} \n  actual:    {} -> {} \n",
                                   "find_service", name, demangle<Req>(), demangle<Res>(),
                                   found->second->getRequestTypeName(), found->second->getResponseTypeName());
  return nullptr;
}

template <typename Req, typename Res>
std::shared_ptr<ServiceClient<Req, Res>> ServiceManager::serviceClient(std::string name) {
  std::lock_guard<mutex> registry_lock(_mutex);
  bool mismatch = false;
  auto service = find_service<Req, Res>(name, mismatch);
  if (mismatch) {
    throw std::runtime_error("Type mismatch in service client creation");
  }
  if (!service) {
    service = Service<Req, Res>::MakeInstance(name);
    _services.emplace(name, service);
  }
  ORVO2_DEBUG_TRACE(0, "serviceClient", "Creating service client with name '{}' from thread '{}' \n", name,
                    thread_id());
  return service->make_client();
}

template <typename Req, typename Res, typename Obj>
std::shared_ptr<ServiceServer<Req, Res>> Task::advertiseService(std::string name,
                                                                bool (Obj::*method)(const Req&, Res&), Obj* obj,
                                                                CallbackQueue* queue) {
  ServiceManager& services = Context().serviceManager();
  return services.advertiseService<Req, Res, Obj>(resolveName(name), method, obj, queue);
}

template <typename Req, typename Res>
std::shared_ptr<ServiceClient<Req, Res>> Task::serviceClient(std::string name) {
  ServiceManager& services = Context().serviceManager();
  return services.serviceClient<Req, Res>(resolveName(name));
}

}  // namespace Orvo
