#include "orvo2/context/context.h"

#include "orvo2/context/journal.h"

namespace Orvo {

ContextImpl::ContextImpl() { Context().journal(); }

// The registries live until the process ends and are never destroyed, so that
// worker threads still running at exit never see a destroyed registry. Each
// registry's accessor is defined next to the registry itself.
Journal& Context::journal() const {
  static Journal* process_journal = new Journal("orvo2");
  return *process_journal;
}

}  // namespace Orvo
