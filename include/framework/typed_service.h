#pragma once
// A typed in-process service: a handler that runs in the thread of the
// component serving it, called by other threads with a time-out.
//
// Hand-shake of a remote call. The client holds the call mutex for its whole
// call (clients are served one after the other) and the wait mutex at every
// moment except inside its timed wait. It copies its request into the
// service, raises `pending` and waits on the condition. The server, at each
// drain of its queue, reads `pending` without a lock and only then tries the
// wait mutex: it therefore takes a request only while the client waits, and
// never blocks on a client. It runs the handler, sets `done`, clears
// `pending` and signals. A client in the server's own thread runs the handler
// itself, holding both mutexes. A handler that calls its own service while
// it answers a remote request is refused at once: that request's client holds
// the call mutex until the server releases the wait mutex.

#include <pthread.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <exception>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <typeinfo>

#include "framework/condition_variable.h"
#include "framework/debug.h"
#include "framework/monotonic_clock.h"
#include "framework/mutex.h"
#include "framework/service_client.h"
#include "framework/service_server.h"
#include "framework/thread_id.h"
#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"
#include "orvo2/services/service_base.h"

namespace Orvo {

template <typename Req, typename Res>
class Service final : public ServiceBase {
public:
  using ServiceFunction = std::function<bool(const Req&, Res&)>;
  using Ptr = std::shared_ptr<Service>;

  // Set-up, any thread; allocates.
  static Ptr MakeInstance(std::string name) { return std::make_shared<Service>(std::move(name)); }

  // Set-up, any thread; allocates. Use MakeInstance: clients and servers need
  // the service held by a shared pointer.
  explicit Service(std::string name) : ServiceBase(std::move(name)) {
    set_type_identities(typeid(Req), typeid(Res));
  }

  // Set-up; blocks on the hand-shake lock, allocates. Installs `handler` and
  // makes the calling thread the server thread. Throws
  // ServiceServerRedefinition while another server is alive, and
  // std::invalid_argument for an empty handler.
  std::shared_ptr<ServiceServer<Req, Res>> make_server(ServiceFunction handler) {
    std::lock_guard<mutex> wait_lock(_wait_mutex);
    if (!_server.expired()) {
      throw ServiceServerRedefinition("Service server already defined");
    }
    _handler = std::move(handler);
    _server_thread = std::make_unique<thread_id>();
    if (!_handler) {
      throw std::invalid_argument("setCallback: invalid callback provided");
    }
    struct make_shared_enabler : ServiceServer<Req, Res> {
      explicit make_shared_enabler(std::function<void()> step)
          : ServiceServer<Req, Res>(std::move(step)) {}
    };
    Ptr self = std::static_pointer_cast<Service>(shared_from_this());
    auto server = std::make_shared<make_shared_enabler>([self] { self->serve(); });
    _server = server;
    return server;
  }

  // Set-up, any thread; allocates. The service must be held by a shared pointer.
  typename ServiceClient<Req, Res>::Ptr make_client() {
    struct make_shared_enabler : ServiceClient<Req, Res> {
      explicit make_shared_enabler(typename ServiceClient<Req, Res>::CallFunction call)
          : ServiceClient<Req, Res>(std::move(call)) {}
    };
    Ptr self = std::static_pointer_cast<Service>(shared_from_this());
    return std::make_shared<make_shared_enabler>(ClientCall(this, self, getName()));
  }

  // Set-up, any thread; allocates.
  std::shared_ptr<ServiceClientBase> make_client_base() override { return make_client(); }

  // Set-up, any thread; blocks on the hand-shake lock. True while a server
  // handle is alive and a handler is installed.
  bool is_served() {
    std::lock_guard<mutex> wait_lock(_wait_mutex);
    return !_server.expired() && static_cast<bool>(_handler);
  }

private:
  // The call function of the clients: the service's raw pointer, a weak
  // reference that tells whether it is still alive, and its name.
  class ClientCall {
  public:
    ClientCall(Service* service, const Ptr& alive, std::string name)
        : _service(service), _alive(alive), _name(std::move(name)) {}

    bool operator()(const Req& request, Res& response, std::chrono::nanoseconds timeout) const {
      static thread_local const thread_id cli_tid;
      const Ptr service = _alive.lock();
      if (!service) {
        Context().journal().jhigh().vlog(Journal::Error, "[{}] service '{}' is not alive \n", "operator()", _name);
        return false;
      }
      if (pthread_equal(_service->_serving_thread.load(), cli_tid.id()) != 0) {
        Context().journal().jhigh().vlog(Journal::Error,
                                         "[{}] service '{}' called by its own handler while serving another "
                                         "thread's call \n",
                                         "operator()", _name);
        return false;
      }
      std::lock_guard<mutex> call_lock(_service->_call_mutex);
      std::lock_guard<mutex> wait_lock(_service->_wait_mutex);
      const auto server = _service->_server.lock();
      if (!server) {
        Context().journal().jhigh().vlog(Journal::Error, "[{}] service server for '{}' is not alive \n",
                                         "operator()", _name);
        return false;
      }
      if (!_service->_handler) {
        Context().journal().jhigh().vlog(Journal::Error, "[{}] service handler for '{}' undefined \n",
                                         "operator()", _name);
        return false;
      }
      if (cli_tid == *_service->_server_thread) {
        ORVO2_DEBUG_TRACE(0, "operator()", "Direct call to service by thread '{}'\n", cli_tid);
        return _service->_handler(request, response);
      }
      ORVO2_DEBUG_TRACE(0, "operator()", "Remote call to service by thread '{}'\n", cli_tid);
      return _service->wait_for_server(_name, request, response, timeout);
    }

  private:
    Service* _service;
    std::weak_ptr<Service> _alive;
    std::string _name;
  };

  // Client's thread, holding both mutexes.
  bool wait_for_server(const std::string& name, const Req& request, Res& response,
                       std::chrono::nanoseconds timeout) {
    _request = request;
    _response = response;
    _pending.store(true);
    _done = false;
    const timespec deadline = deadline_after(timeout);
    while (!_done) {
      const int rc = pthread_cond_timedwait(_cond.native_handle(), _wait_mutex.native_handle(), &deadline);
      if (rc == ETIMEDOUT) {
        _pending.store(false);
        Context().journal().jmid().vlog(Journal::Warning, "[{}] timeout for '{}' exceeded \n", "operator()", name);
        return false;
      }
      if (rc != 0) {
        throw std::runtime_error(std::string("error in pthread_cond_timedwait: ") + std::strerror(rc));
      }
    }
    _pending.store(false);
    response = _response;
    return true;
  }

  // CLOCK_MONOTONIC now plus `timeout`, saturated to the representable range.
  static timespec deadline_after(std::chrono::nanoseconds timeout) {
    constexpr int64_t ns_per_s = 1000000000;
    const int64_t now_ns = monotonic_now_ns();
    const int64_t max_ns = std::numeric_limits<int64_t>::max();
    int64_t at_ns = now_ns;
    if (timeout.count() > 0) {
      at_ns = timeout.count() > max_ns - now_ns ? max_ns : now_ns + timeout.count();
    } else if (timeout.count() < 0) {
      at_ns = timeout.count() < -now_ns ? 0 : now_ns + timeout.count();
    }
    timespec deadline{};
    deadline.tv_sec = static_cast<time_t>(at_ns / ns_per_s);
    deadline.tv_nsec = static_cast<long>(at_ns % ns_per_s);
    return deadline;
  }

  // Server's thread, at each drain of its queue: never blocks, never
  // allocates, never throws. A handler that throws is logged and the request
  // dropped: its client times out and reports false.
  void serve() noexcept {
    if (!_pending.load()) {
      return;
    }
    if (!_wait_mutex.try_lock()) {
      return;
    }
    if (!_done && _pending.load()) {
      _serving_thread.store(pthread_self());
      try {
        _handler(_request, _response);
        _done = true;
      } catch (const std::exception& error) {
        Context().journal().jhigh().vlog(Journal::Error, "[{}] service handler for '{}' threw: {} \n", "serve",
                                         getName(), error.what());
      } catch (...) {
        Context().journal().jhigh().vlog(Journal::Error, "[{}] service handler for '{}' threw: {} \n", "serve",
                                         getName(), "unknown exception");
      }
      _serving_thread.store(pthread_t{});
      _pending.store(false);
      if (_done) {
        _cond.notify_one();
      }
    }
    _wait_mutex.unlock();
  }

  Req _request{};
  Res _response{};
  std::atomic<bool> _pending{false};
  bool _done = false;
  mutex _call_mutex;
  mutex _wait_mutex;
  condition_variable _cond;
  ServiceFunction _handler;
  std::weak_ptr<ServiceServer<Req, Res>> _server;
  std::unique_ptr<thread_id> _server_thread;
  // The thread inside serve()'s handler call, zero otherwise.
  std::atomic<pthread_t> _serving_thread{};
};

}  // namespace Orvo
