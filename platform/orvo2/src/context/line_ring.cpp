#include "context/line_ring.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string>

namespace Orvo {

LineRing::LineRing(size_t capacity) : _mask(capacity - 1) {
  if (capacity == 0 || (capacity & (capacity - 1)) != 0) {
    throw std::invalid_argument("LineRing: the capacity must be a power of two, got " + std::to_string(capacity));
  }
  _sequences.reset(new std::atomic<uint64_t>[capacity]);
  for (size_t i = 0; i < capacity; ++i) {
    _sequences[i].store(i, std::memory_order_relaxed);
  }
  _texts.reset(new Text[capacity]);
}

void LineRing::prefault() noexcept { std::memset(_texts.get(), 0, sizeof(Text) * (_mask + 1)); }

bool LineRing::push(const char* text, size_t size) noexcept {
  uint64_t position = _tail.load(std::memory_order_relaxed);
  for (;;) {
    const uint64_t sequence = _sequences[position & _mask].load(std::memory_order_acquire);
    const int64_t lag = static_cast<int64_t>(sequence - position);
    if (lag == 0) {
      if (_tail.compare_exchange_weak(position, position + 1, std::memory_order_relaxed)) {
        break;
      }
    } else if (lag < 0) {
      return false;  // the slot still holds the line of the previous lap
    } else {
      position = _tail.load(std::memory_order_relaxed);
    }
  }
  Text& slot = _texts[position & _mask];
  size = std::min(size, slot_bytes);
  std::memcpy(slot.bytes, text, size);
  slot.size = static_cast<uint32_t>(size);
  _sequences[position & _mask].store(position + 1, std::memory_order_release);
  return true;
}

bool LineRing::peek(size_t offset, Line& line) const noexcept {
  const uint64_t position = _head + offset;
  if (_sequences[position & _mask].load(std::memory_order_acquire) != position + 1) {
    return false;
  }
  const Text& slot = _texts[position & _mask];
  line.text = slot.bytes;
  line.size = slot.size;
  return true;
}

void LineRing::pop(size_t count) noexcept {
  for (size_t i = 0; i < count; ++i, ++_head) {
    _sequences[_head & _mask].store(_head + _mask + 1, std::memory_order_release);
  }
}

}  // namespace Orvo
