#pragma once
// A typed in-process service: a handler that runs in the thread of the
// component serving it, called by other threads with a time-out.
//
// The server thread is the thread that drains the server's callback queue
// (until the first drain, the thread that made the server). A client in that
// thread runs the handler itself: it never waits for another thread's call,
// which only its own thread can answer.
//
// Hand-shake of a remote call. The client holds the call mutex for its whole
// call (remote clients are served one after the other) and the wait mutex
// except inside its timed waits. It copies its request into the slots, moves
// the exchange to Requested and waits on the condition. The server, at each
// drain of its queue, reads the exchange without a lock and only then tries
// the wait mutex: it takes the request (Taken), lets the mutex go, runs the
// handler on the slots (Handled) and, once it gets the mutex again by
// try_lock, hands the answer over (Answered, or Failed when the handler
// threw) and signals. The server therefore never blocks, and a client is
// never kept past its deadline by a handler: one that gives up on a Taken or
// Handled request leaves it abandoned, and the server then returns the
// service to Idle itself. A handler never waits on any service: every call
// made from inside one is refused at once.

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

#include "framework/primitives/condition_variable.h"
#include "framework/primitives/debug.h"
#include "framework/primitives/monotonic_clock.h"
#include "framework/primitives/mutex.h"
#include "framework/primitives/thread_id.h"
#include "framework/typed/service_client.h"
#include "framework/typed/service_server.h"
#include "orvo2/context/context.h"
#include "orvo2/context/journal.h"
#include "orvo2/services/handler_scope.h"
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
  // makes the calling thread the server thread until the server's queue is
  // first drained. Throws ServiceServerRedefinition while another server is
  // alive, and std::invalid_argument for an empty handler.
  std::shared_ptr<ServiceServer<Req, Res>> make_server(ServiceFunction handler) {
    std::lock_guard<mutex> wait_lock(_wait_mutex);
    if (!_server.expired()) {
      throw ServiceServerRedefinition("Service server already defined");
    }
    _handler = std::move(handler);
    _server_thread.store(pthread_self());
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
  // Where the remote call in progress stands (see the top of this file).
  enum Exchange : int { Idle, Requested, Taken, Handled, Answered, Failed };

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
      if (refused_inside_handler()) {
        return false;
      }
      if (pthread_equal(_service->_server_thread.load(), cli_tid.id()) != 0) {
        return _service->call_direct(_name, cli_tid, request, response);
      }
      return _service->call_remote(_name, cli_tid, request, response, timeout);
    }

  private:
    // A call from inside a handler would wait on a service that may be
    // waiting on this thread. Only a handler run directly that calls its own
    // service goes on: the wait mutex its caller holds refuses it (throws).
    bool refused_inside_handler() const {
      const HandlerScope* scope = HandlerScope::current();
      if (scope == nullptr) {
        return false;
      }
      if (&scope->service() != _service) {
        Context().journal().jhigh().vlog(Journal::Error,
                                         "[{}] service '{}' called from inside the handler of service '{}': "
                                         "refused, a handler never waits on a service \n",
                                         "operator()", _name, scope->service().getName());
        return true;
      }
      if (scope->remote()) {
        Context().journal().jhigh().vlog(Journal::Error,
                                         "[{}] service '{}' called by its own handler while serving another "
                                         "thread's call \n",
                                         "operator()", _name);
        return true;
      }
      return false;
    }

    Service* _service;
    std::weak_ptr<Service> _alive;
    std::string _name;
  };

  // Client's thread, holding the wait mutex: false, with a journal entry,
  // when there is no server or no handler.
  bool check_served(const std::string& name) const {
    if (_server.expired()) {
      Context().journal().jhigh().vlog(Journal::Error, "[{}] service server for '{}' is not alive \n",
                                       "operator()", name);
      return false;
    }
    if (!_handler) {
      Context().journal().jhigh().vlog(Journal::Error, "[{}] service handler for '{}' undefined \n", "operator()",
                                       name);
      return false;
    }
    return true;
  }

  // The server thread. Never waits for another thread's call: the call mutex
  // is taken only when free. Inside a handler of this service run directly,
  // the wait mutex it holds already makes the lock throw.
  bool call_direct(const std::string& name, const thread_id& caller, const Req& request, Res& response) {
    std::unique_lock<mutex> call_lock(_call_mutex, std::try_to_lock);
    std::lock_guard<mutex> wait_lock(_wait_mutex);
    if (!check_served(name)) {
      return false;
    }
    ORVO2_DEBUG_TRACE(0, "operator()", "Direct call to service by thread '{}'\n", caller);
    const HandlerScope scope(*this, false);
    return _handler(request, response);
  }

  // Any other thread: blocks while another remote call is in progress, then
  // up to `timeout` for the answer.
  bool call_remote(const std::string& name, const thread_id& caller, const Req& request, Res& response,
                   std::chrono::nanoseconds timeout) {
    bool timed_out = false;
    bool answered = false;
    {
      std::lock_guard<mutex> call_lock(_call_mutex);
      std::unique_lock<mutex> wait_lock(_wait_mutex);
      if (!check_served(name)) {
        return false;
      }
      ORVO2_DEBUG_TRACE(0, "operator()", "Remote call to service by thread '{}'\n", caller);
      answered = wait_for_server(request, response, timeout, timed_out);
    }
    if (timed_out) {
      Context().journal().jmid().vlog(Journal::Warning, "[{}] timeout for '{}' exceeded \n", "operator()", name);
    }
    return answered;
  }

  // Client's thread, holding both mutexes.
  bool wait_for_server(const Req& request, Res& response, std::chrono::nanoseconds timeout, bool& timed_out) {
    const timespec deadline = deadline_after(timeout);
    // A request given up earlier may still be with the server.
    timed_out = !wait_until(deadline, [this] { return _exchange.load() == Idle; });
    if (timed_out) {
      return false;
    }
    _request = request;
    _response = response;
    _abandoned = false;
    _exchange.store(Requested);
    timed_out = !wait_until(deadline, [this] { return _exchange.load() >= Answered; });
    if (timed_out) {
      // Taken or Handled: the server returns the service to Idle.
      Exchange expected = Requested;
      _abandoned = !_exchange.compare_exchange_strong(expected, Idle);
      return false;
    }
    const bool answered = _exchange.load() == Answered;
    if (answered) {
      response = _response;
    }
    _exchange.store(Idle);
    return answered;
  }

  // Client's thread, holding the wait mutex; false once the deadline passed
  // with `done` still false.
  template <typename Done>
  bool wait_until(const timespec& deadline, Done done) {
    while (!done()) {
      const int rc = pthread_cond_timedwait(_cond.native_handle(), _wait_mutex.native_handle(), &deadline);
      if (rc == ETIMEDOUT) {
        return done();
      }
      if (rc != 0) {
        throw std::runtime_error(std::string("error in pthread_cond_timedwait: ") + std::strerror(rc));
      }
    }
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
  // allocates, never throws. Idle, it costs a comparison of the thread and
  // one load. A handler that throws is logged and its call fails.
  void serve() noexcept {
    const pthread_t self = pthread_self();
    if (pthread_equal(_server_thread.load(std::memory_order_relaxed), self) == 0) {
      _server_thread.store(self);
    }
    const int exchange = _exchange.load();
    if (exchange == Requested && take_request()) {
      _outcome = run_handler() ? Answered : Failed;
      _exchange.store(Handled);
      hand_over();
    } else if (exchange == Handled) {
      hand_over();
    }
  }

  // Server's thread: true when the request is now Taken.
  bool take_request() noexcept {
    if (!_wait_mutex.try_lock()) {
      return false;  // the client is not waiting yet: at a later drain
    }
    Exchange expected = Requested;
    const bool taken = _exchange.compare_exchange_strong(expected, Taken);
    _wait_mutex.unlock();
    return taken;
  }

  // Server's thread, the request Taken: false when the handler threw.
  bool run_handler() noexcept {
    const HandlerScope scope(*this, true);
    try {
      _handler(_request, _response);
      return true;
    } catch (const std::exception& error) {
      Context().journal().jhigh().vlog(Journal::Error, "[{}] service handler for '{}' threw: {} \n", "serve",
                                       getName(), error.what());
    } catch (...) {
      Context().journal().jhigh().vlog(Journal::Error, "[{}] service handler for '{}' threw: {} \n", "serve",
                                       getName(), "unknown exception");
    }
    return false;
  }

  // Server's thread, the request Handled: gives the answer to its client
  // (or drops it, abandoned) when the wait mutex is free, else at a later drain.
  void hand_over() noexcept {
    if (!_wait_mutex.try_lock()) {
      return;
    }
    _exchange.store(_abandoned ? Idle : _outcome);
    _abandoned = false;
    _cond.notify_one();
    _wait_mutex.unlock();
  }

  Req _request{};
  Res _response{};
  std::atomic<Exchange> _exchange{Idle};
  Exchange _outcome = Idle;  // the server's, while Handled
  bool _abandoned = false;   // under the wait mutex
  mutex _call_mutex;
  mutex _wait_mutex;
  condition_variable _cond;
  ServiceFunction _handler;
  std::weak_ptr<ServiceServer<Req, Res>> _server;
  // The thread that last drained the server's queue, or that made the server.
  std::atomic<pthread_t> _server_thread{};
};

}  // namespace Orvo
