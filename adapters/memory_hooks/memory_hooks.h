#pragma once
// Per-thread observation of heap allocations. The library replaces malloc for
// the whole process when it comes before libc in the symbol lookup order
// (preloaded, or linked ahead of libc); each thread may install a hook that is
// told the size of every malloc request the thread makes, before the memory is
// allocated. calloc, realloc, free and the aligned allocators are not observed.

#include <cstddef>
#include <functional>

// Calling thread only; takes no lock. Installs the hook for the calling thread,
// an empty function removes it. Copying the hook may allocate; such allocations
// are reported to the hook that is still installed. The hook must not throw.
void orvo2_set_malloc_hook(std::function<void(size_t)> hook);
