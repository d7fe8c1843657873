#pragma once
// One pre-made message of a topic's pool and the word that says who holds it.

#include <atomic>
#include <cstdint>
#include <memory>

#include "orvo2/message_base.h"

namespace Orvo {
namespace internal {

// The state word: a generation in the upper half (advanced at every loan, so
// that a stale observation never matches a later loan) and in the lower half
// either a marker or the number of references held by delivery queues.
struct SlotState {
  static constexpr uint32_t Free = 0;
  static constexpr uint32_t Loaned = 0xFFFFFFFFu;
  static constexpr uint32_t Loaning = 0xFFFFFFFEu;

  static uint32_t low(uint64_t word) { return static_cast<uint32_t>(word); }
  static uint64_t generation(uint64_t word) { return word >> 32; }
  static uint64_t make(uint64_t generation, uint32_t low) { return (generation << 32) | low; }
};

struct MessageSlot;

// Deleter of a slot's handle; lets a handed-back loan be traced to its slot
// without any per-message bookkeeping (std::get_deleter).
struct SlotDeleter {
  MessageSlot* slot;
  void operator()(MessageBase* message) const { delete message; }
};

// A cache line each: publishers and subscribers of different threads update
// neighbouring slots.
struct alignas(64) MessageSlot {
  // The pool's own reference, made once at set-up; loans are copies of it,
  // so no control block is ever allocated per message.
  std::shared_ptr<MessageBase> handle;
  std::atomic<uint64_t> state{SlotState::make(0, SlotState::Free)};
};

}  // namespace internal
}  // namespace Orvo
