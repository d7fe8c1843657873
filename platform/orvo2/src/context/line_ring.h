#pragma once
// A bounded ring of text lines, each in a slot of fixed size: any number of
// threads push, one consumer at a time takes the lines in the order their
// pushes claimed a slot (so each thread's lines keep their order). A push
// never blocks, never allocates and never waits for the consumer: when every
// slot still holds a line, the ring refuses the new one.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace Orvo {

class LineRing {
public:
  static constexpr size_t slot_bytes = 2048;

  struct Line {
    const char* text;
    size_t size;
  };

  // Set-up; allocates `capacity` slots, a power of two (std::invalid_argument
  // otherwise), without touching the memory of their texts yet.
  explicit LineRing(size_t capacity);
  LineRing(const LineRing&) = delete;
  LineRing& operator=(const LineRing&) = delete;

  // Set-up, before any push; writes every slot's text once, so that no push
  // meets a page of the ring that is not there yet.
  void prefault() noexcept;

  // Any thread; lock-free, never blocks, never allocates. Copies at most
  // slot_bytes of `text`; false (nothing taken) when the ring is full.
  bool push(const char* text, size_t size) noexcept;

  // The consumer (one at a time). The line `offset` places after the oldest
  // one not yet popped; false when that line is not there or its producer is
  // still writing it. The text stays valid until it is popped.
  bool peek(size_t offset, Line& line) const noexcept;
  // The consumer. Gives the `count` oldest lines' slots back to the producers.
  void pop(size_t count) noexcept;

  // Any thread. Pushes claimed so far; lines popped so far (consumer's count).
  uint64_t claimed() const noexcept { return _tail.load(std::memory_order_acquire); }
  uint64_t popped() const noexcept { return _head; }

private:
  struct Text {
    uint32_t size;
    char bytes[slot_bytes];
  };

  const uint64_t _mask;
  // Per slot: equal to its next position when free, that position + 1 once
  // its line is written.
  std::unique_ptr<std::atomic<uint64_t>[]> _sequences;
  std::unique_ptr<Text[]> _texts;
  alignas(64) std::atomic<uint64_t> _tail{0};
  alignas(64) uint64_t _head = 0;
};

}  // namespace Orvo
