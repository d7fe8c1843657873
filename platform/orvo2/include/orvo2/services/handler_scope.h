#pragma once
// Marks the calling thread as running a service's handler, so that a call
// made from inside a handler is refused at once instead of waiting on another
// service (which may be waiting on this one).

namespace Orvo {

class ServiceBase;

class HandlerScope {
public:
  // The handler's thread; never blocks, never allocates. `remote`: the
  // handler answers another thread's call (run by the service's server).
  HandlerScope(const ServiceBase& service, bool remote) noexcept;
  ~HandlerScope();
  HandlerScope(const HandlerScope&) = delete;
  HandlerScope& operator=(const HandlerScope&) = delete;

  // Any thread; never blocks. The innermost handler the calling thread runs,
  // null outside every handler.
  static const HandlerScope* current() noexcept;

  const ServiceBase& service() const { return _service; }
  bool remote() const { return _remote; }

private:
  const ServiceBase& _service;
  bool _remote;
  const HandlerScope* _outer;
};

}  // namespace Orvo
