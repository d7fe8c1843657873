#pragma once
// The process-wide registry of in-process services, reached through
// Orvo::Context().serviceManager(). Names are full names here (no
// resolution); Task's forms resolve them first. A service is created by the
// first advertiseService or serviceClient of its name and stays registered;
// servers come and go.
//
// The template members are defined in framework/typed/service.h; include that
// header to use them.

#include <functional>
#include <map>
#include <memory>
#include <string>

#include "framework/primitives/condition_variable.h"
#include "framework/primitives/mutex.h"
#include "orvo2/services/service_base.h"

namespace Orvo {

class CallbackQueue;
template <typename Req, typename Res>
class Service;
template <typename Req, typename Res>
class ServiceServer;
template <typename Req, typename Res>
class ServiceClient;

class ServiceManager {
public:
  ServiceManager() = default;
  ServiceManager(const ServiceManager&) = delete;
  ServiceManager& operator=(const ServiceManager&) = delete;

  // Set-up, any thread; blocks on the registry lock, allocates. The calling
  // thread becomes the server thread (its calls run the handler directly);
  // with a queue, the server is registered on it and runs at its drains.
  // Throws std::invalid_argument (empty handler), std::logic_error (other
  // types under the name) or ServiceServerRedefinition (a live server).
  template <typename Req, typename Res>
  std::shared_ptr<ServiceServer<Req, Res>> advertiseService(
      std::string name, std::function<bool(const Req&, Res&)> handler, CallbackQueue* queue);
  template <typename Req, typename Res, typename Obj>
  std::shared_ptr<ServiceServer<Req, Res>> advertiseService(std::string name,
                                                            bool (Obj::*method)(const Req&, Res&),
                                                            Obj* obj, CallbackQueue* queue);

  // Caller holds the registry lock. Null when absent, or when registered with
  // other types (then `mismatch` is set and the clash is logged).
  template <typename Req, typename Res>
  std::shared_ptr<Service<Req, Res>> find_service(std::string name, bool& mismatch) const;

  // Set-up, any thread; blocks on the registry lock, allocates. Creates the
  // service when absent (a client may come before its server). Throws
  // std::runtime_error when the name is registered with other types.
  template <typename Req, typename Res>
  std::shared_ptr<ServiceClient<Req, Res>> serviceClient(std::string name);

private:
  mutex _mutex;
  condition_variable _cond;
  std::map<std::string, std::shared_ptr<ServiceBase>> _services;
};

}  // namespace Orvo
