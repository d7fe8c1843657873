#pragma once
// A message carrying one value of type T right after the message header.

#include <memory>
#include <ostream>
#include <type_traits>
#include <typeinfo>
#include <utility>

#include "framework/primitives/has_stream_output.h"
#include "orvo2/topics/message_base.h"

namespace Orvo {

// Aligned to a cache line: a small record's message is one line, so
// publishing and taking it touch one line, not the two it may straddle.
template <typename T>
class alignas(64) MessageAdapter final : public MessageBase {
public:
  MessageAdapter() = default;
  explicit MessageAdapter(T value) : _value(std::move(value)) {}

  // Set-up only (allocates).
  std::unique_ptr<MessageBase> clone() const override { return std::make_unique<MessageAdapter<T>>(_value); }
  // Any thread; writes the value with its stream output operator when T has one.
  bool print(std::ostream& os) const override {
    if constexpr (internal::has_stream_output<T>::value) {
      os << _value;
      return true;
    } else {
      return false;
    }
  }
  const std::type_info& getTypeInfo() const override { return typeid(T); }
  ~MessageAdapter() override = default;

  // The thread that holds the message: a publisher's loan, or the callback
  // delivering it (read only). Never allocates.
  T& value() { return _value; }
  const T& value() const { return _value; }

private:
  T _value;
};

}  // namespace Orvo
