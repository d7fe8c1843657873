#pragma once
// The shared_ptr a loaned message travels in. Its control block is built in
// room that the message's pool slot keeps for it, so a loan allocates
// nothing and counts nothing atomically until it is copied; when the last
// copy (and weak reference) of the handle is gone, the slot learns that the
// loan ended. The pool keeps the message itself: the deleter frees nothing.

#include <cstddef>

#include "orvo2/topics/message_base.h"

namespace Orvo {
namespace internal {

class MessagePool;
struct MessageSlot;

// Room for one control block in every slot.
constexpr std::size_t loan_handle_size = 40;
constexpr std::size_t loan_handle_align = alignof(std::max_align_t);

// A slot claimed for a loan and the message it holds; both null when the
// pool had nothing free.
struct LoanClaim {
  MessagePool* pool = nullptr;
  MessageSlot* slot = nullptr;
  MessageBase* message = nullptr;
};

// Any thread; never block, never allocate. The slot's room for the handle,
// and the notice that the handle is gone (the loan ended).
void* loan_handle_storage(MessageSlot* slot) noexcept;
void loan_handle_released(MessageSlot* slot) noexcept;

// Names the pool so that a handed-back loan can be told to be one of its own
// (std::get_deleter); the slot is the one whose room holds the deleter.
struct LoanDeleter {
  MessagePool* pool;
  void operator()(MessageBase*) const noexcept {}
};

// Places the control block of a loan in its slot.
template <typename T>
struct LoanAllocator {
  using value_type = T;

  explicit LoanAllocator(MessageSlot* s) noexcept : slot(s) {}
  template <typename U>
  LoanAllocator(const LoanAllocator<U>& other) noexcept : slot(other.slot) {}

  // shared_ptr asks for exactly one control block.
  T* allocate(std::size_t) noexcept {
    static_assert(sizeof(T) <= loan_handle_size && alignof(T) <= loan_handle_align,
                  "a loan's control block does not fit in its slot");
    return static_cast<T*>(loan_handle_storage(slot));
  }
  void deallocate(T*, std::size_t) noexcept { loan_handle_released(slot); }

  template <typename U>
  bool operator==(const LoanAllocator<U>& other) const noexcept {
    return slot == other.slot;
  }
  template <typename U>
  bool operator!=(const LoanAllocator<U>& other) const noexcept {
    return slot != other.slot;
  }

  MessageSlot* slot;
};

}  // namespace internal
}  // namespace Orvo
