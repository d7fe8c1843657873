#pragma once
// A typed client of an in-process service. It holds only a weak reference to
// the service; calls on a service that is gone log and return false.

#include <chrono>
#include <functional>
#include <memory>
#include <typeinfo>

#include <boost/any.hpp>

#include "orvo2/services/service_base.h"

namespace Orvo {

template <typename Req, typename Res>
class Service;

template <typename Req, typename Res>
class ServiceClient : public ServiceClientBase {
public:
  using Ptr = std::shared_ptr<ServiceClient>;
  using CallFunction = std::function<bool(const Req&, Res&, std::chrono::nanoseconds)>;

  // Client's thread. In the server's own thread the handler runs directly and
  // its result is returned. Otherwise the request waits for the server's next
  // drain, blocking up to `timeout` (plus the time to take the service's
  // locks while another call is in progress); true once the server answered,
  // whatever the handler returned. False, with a journal entry, when the
  // service, its server or its handler is missing, or on time-out. Allocates
  // only if copying Req or Res does (and at a thread's first call).
  bool call(const Req& request, Res& response, std::chrono::nanoseconds timeout) {
    return _call(request, response, timeout);
  }

  // Client's thread; see ServiceClientBase. Time-out of 1 s.
  bool call_any(const boost::any& request, boost::any& response) override {
    const Req& typed_request = boost::any_cast<const Req&>(request);
    Res typed_response{};
    const bool result = call(typed_request, typed_response, std::chrono::seconds(1));
    response = typed_response;
    return result;
  }

private:
  friend class Service<Req, Res>;
  explicit ServiceClient(CallFunction call)
      : ServiceClientBase(typeid(Req), typeid(Res)), _call(std::move(call)) {}

  CallFunction _call;
};

}  // namespace Orvo
