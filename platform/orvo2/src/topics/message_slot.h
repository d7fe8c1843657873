#pragma once
// One pre-made message of a topic's pool and the words that say who holds it.
//
// A slot's life: free -> claimed by a loan (Loaned, its handle alive) ->
// published (the loan turns into one reference per delivery queue, the
// handle dies) -> each subscriber, or a full queue dropping it, gives its
// reference back -> free again once no reference is left and the handle is
// gone. A loan dropped without publishing frees the slot when its handle dies.

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "orvo2/topics/loan_handle.h"
#include "orvo2/topics/message_base.h"

namespace Orvo {
namespace internal {

class MessagePool;

// The state word: a generation in the upper half (advanced at every claim, so
// that a claim decided on a stale reading fails) and in the lower half either
// Loaned or the number of references held by delivery queues (Free: none).
struct SlotState {
  static constexpr uint32_t Free = 0;
  static constexpr uint32_t Loaned = 0xFFFFFFFFu;

  static uint32_t low(uint64_t word) { return static_cast<uint32_t>(word); }
  static uint64_t generation(uint64_t word) { return word >> 32; }
  static uint64_t make(uint64_t generation, uint32_t low) { return (generation << 32) | low; }
};

// One cache line: the loan's control block, the state word and the message
// pointer are what a publish and a delivery touch. The control block comes
// first, so that the slot is the line that holds it (see slot_of_handle).
struct alignas(64) MessageSlot {
  alignas(loan_handle_align) unsigned char handle[loan_handle_size];
  std::atomic<uint64_t> state{SlotState::make(0, SlotState::Free)};
  // Set-up only, then read-only.
  MessageBase* message = nullptr;
  // From the claim until the loan's control block is destroyed: the room
  // above may not be reused before.
  std::atomic<bool> handle_alive{false};
};
static_assert(sizeof(MessageSlot) == 64 && offsetof(MessageSlot, handle) == 0,
              "a slot is one cache line that begins with the loan's control block");

// The slot whose room holds the loan's control block that `inside` points into.
inline MessageSlot* slot_of_handle(const void* inside) {
  return reinterpret_cast<MessageSlot*>(reinterpret_cast<uintptr_t>(inside) & ~uintptr_t{alignof(MessageSlot) - 1});
}

}  // namespace internal
}  // namespace Orvo
