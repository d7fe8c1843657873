// Interposed malloc with a per-thread hook.

#include "memory_hooks.h"

#include <dlfcn.h>

#include <cstdlib>
#include <utility>

namespace {

using MallocFunction = void* (*)(size_t);
using Hook = std::function<void(size_t)>;

// The thread-locals use the initial-exec model: touching them inside malloc
// must never go through the dynamic TLS allocator, which itself allocates.

// libc's malloc, resolved at the thread's first malloc.
__attribute__((tls_model("initial-exec"))) thread_local MallocFunction libc_malloc = nullptr;

// Set while the thread's hook runs, so that its own allocations are not
// reported; also set for good once the thread's hook has been destroyed.
__attribute__((tls_model("initial-exec"))) thread_local bool reentrant = false;

// Holds the thread's hook. Created at the thread's first use of the library;
// its destruction at thread exit is registered through glibc with calloc, which
// is not interposed, so creating it never recurses into malloc.
struct HookSlot {
  Hook hook;

  // Allocations made later in the thread's exit (by other thread-local
  // destructors) must not reach the destroyed hook.
  ~HookSlot() {
    reentrant = true;
    Hook previous;
    previous.swap(hook);
  }
};

__attribute__((tls_model("initial-exec"))) thread_local HookSlot malloc_hook;

}  // namespace

// Declared noexcept as libc declares it: a hook that throws ends the process
// instead of leaving the thread's reentrancy flag set.
extern "C" void* malloc(size_t size) noexcept {
  if (libc_malloc == nullptr) {
    libc_malloc = reinterpret_cast<MallocFunction>(dlsym(RTLD_NEXT, "malloc"));
  }
  if (!reentrant && malloc_hook.hook) {
    reentrant = true;
    malloc_hook.hook(size);
    reentrant = false;
  }
  return libc_malloc(size);
}

void orvo2_set_malloc_hook(std::function<void(size_t)> hook) {
  Hook replacement(hook);
  replacement.swap(malloc_hook.hook);
}
