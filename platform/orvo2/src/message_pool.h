#pragma once
// A topic's pool of pre-made messages. Slots are added at set-up in chunks
// that never move, so publishers scan the pool without a lock while it grows.

#include <atomic>
#include <cstddef>
#include <memory>

#include "message_slot.h"

namespace Orvo {
namespace internal {

class MessagePool {
public:
  MessagePool() = default;
  ~MessagePool();
  MessagePool(const MessagePool&) = delete;
  MessagePool& operator=(const MessagePool&) = delete;

  // Set-up only (allocates); callers serialise growth. Adds `count` copies of
  // the prototype.
  void add_slots(const MessageBase& prototype, size_t count);

  // Any thread; lock-free, never allocates. The first free message, or a
  // loan whose holder dropped it without publishing; null when every slot is
  // in use.
  std::shared_ptr<MessageBase> loan();

  // Any thread; never allocates. The slot a handed-back loan came from, or
  // null when the message does not belong to this pool.
  MessageSlot* slot_of(const std::shared_ptr<MessageBase>& message) const;

  // Any thread. Turns the loan into `references` references (one per
  // delivery queue; none frees the slot); false when the slot is not on loan
  // (published twice, or reclaimed).
  static bool begin_publish(MessageSlot* slot, uint32_t references);
  // Any thread. Drops one reference; the last one returns the slot to the pool.
  static void release(MessageSlot* slot);

  // Any thread; for statistics and tests.
  size_t size() const { return _size.load(std::memory_order_acquire); }
  size_t free_count() const;

private:
  struct Chunk {
    std::unique_ptr<MessageSlot[]> slots;
    size_t count = 0;
    std::atomic<Chunk*> next{nullptr};
  };
  static std::shared_ptr<MessageBase> hand_out(MessageSlot& slot, uint64_t generation);
  static bool try_loan(MessageSlot& slot, std::shared_ptr<MessageBase>& out);

  std::atomic<Chunk*> _head{nullptr};
  Chunk* _tail = nullptr;
  std::atomic<size_t> _size{0};
};

}  // namespace internal
}  // namespace Orvo
