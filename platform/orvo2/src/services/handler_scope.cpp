#include "orvo2/services/handler_scope.h"

namespace Orvo {
namespace {

// One per thread, in this library only: every plug-in sees the same mark.
thread_local const HandlerScope* innermost = nullptr;

}  // namespace

HandlerScope::HandlerScope(const ServiceBase& service, bool remote) noexcept
    : _service(service), _remote(remote), _outer(innermost) {
  innermost = this;
}

HandlerScope::~HandlerScope() { innermost = _outer; }

const HandlerScope* HandlerScope::current() noexcept { return innermost; }

}  // namespace Orvo
