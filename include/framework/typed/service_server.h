#pragma once
// The handle on a service's server. The service keeps only a weak reference
// to it: the service has a live server exactly as long as somebody (the
// advertiser, or the callback queue it was registered on) holds the handle.

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace Orvo {

template <typename Req, typename Res>
class Service;

// A second server for a service that has a live one.
class ServiceServerRedefinition : public std::logic_error {
public:
  using std::logic_error::logic_error;
};

template <typename Req, typename Res>
class ServiceServer {
public:
  ServiceServer(const ServiceServer&) = delete;
  ServiceServer& operator=(const ServiceServer&) = delete;

  // Server's thread, at each drain of its callback queue. Never blocks, never
  // allocates, never throws: answers the waiting request, if any, when the
  // service's hand-shake lock is free.
  void run() { _step(); }

private:
  friend class Service<Req, Res>;
  explicit ServiceServer(std::function<void()> step) : _step(std::move(step)) {}

  std::function<void()> _step;
};

}  // namespace Orvo
