#include "orvo2/topics/loan_handle.h"

#include "message_pool.h"

namespace Orvo {
namespace internal {

void* loan_handle_storage(MessageSlot* slot) noexcept { return slot->handle; }

void loan_handle_released(MessageSlot* slot) noexcept { MessagePool::end_handle(slot); }

}  // namespace internal
}  // namespace Orvo
