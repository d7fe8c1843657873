#pragma once
// A topic's pool of pre-made messages. Slots are added at set-up in runs
// that never move and are linked in one list, so publishers walk the pool
// without a lock while it grows.

#include <atomic>
#include <cstddef>
#include <memory>
#include <vector>

#include "hidden_symbol.h"
#include "message_slot.h"

namespace Orvo {
namespace internal {

class ORVO2_HIDDEN MessagePool {
public:
  MessagePool() = default;
  // Tear-down. A run of slots that still has a loan's handle alive (a loan kept
  // after its topic went away) is kept for the process rather than freed
  // under the loan.
  ~MessagePool();
  MessagePool(const MessagePool&) = delete;
  MessagePool& operator=(const MessagePool&) = delete;

  // Set-up only (allocates); callers serialise growth. Adds `count` copies of
  // the prototype.
  void add_slots(const MessageBase& prototype, size_t count);
  // Set-up only (allocates), and only while no publisher can claim: every
  // free slot becomes a copy of `prototype`. Slots still held (a loan's
  // handle, a queued reference) keep their message.
  void reseed_free_slots(const MessageBase& prototype);

  // Any thread; lock-free, never allocates. Claims a free slot for a loan
  // (state Loaned, handle alive); null when every slot is in use.
  MessageSlot* claim();

  // Any thread; never allocates. The slot a handed-back loan came from, or
  // null when the message is no loan of this pool.
  MessageSlot* slot_of(const std::shared_ptr<MessageBase>& message) const;

  // Any thread; lock-free. Turns the loan into `references` references (one
  // per delivery queue; none frees the slot once the handle is gone); false
  // when the slot is not on loan (published already).
  static bool begin_publish(MessageSlot* slot, uint32_t references);
  // Any thread; lock-free. Drops one reference; the last one frees the slot
  // (once the handle is gone).
  static void release(MessageSlot* slot);
  // Any thread; lock-free. The loan's handle is gone: a loan never published
  // frees its slot.
  static void end_handle(MessageSlot* slot);

  // Any thread; for statistics and tests.
  size_t size() const { return _size.load(std::memory_order_acquire); }
  size_t free_count() const;

private:
  // Slots added at once, and their messages.
  struct SlotRun {
    std::unique_ptr<MessageSlot[]> slots;
    size_t count = 0;
    std::vector<std::unique_ptr<MessageBase>> messages;
    std::atomic<SlotRun*> next{nullptr};
  };

  // Tear-down: a run that still has a loan's handle alive outlives its pool.
  static void keep_for_late_loan(std::unique_ptr<SlotRun> run);
  static bool is_free(const MessageSlot& slot, uint64_t word);
  static bool try_claim(MessageSlot& slot);

  // What a claim reads first: the first slot, which a publisher whose
  // subscribers keep up claims every time, and the list of runs.
  std::atomic<MessageSlot*> _first_slot{nullptr};
  std::atomic<SlotRun*> _first{nullptr};
  std::atomic<size_t> _size{0};
  // Set-up only.
  std::vector<std::unique_ptr<SlotRun>> _runs;
};

}  // namespace internal
}  // namespace Orvo
