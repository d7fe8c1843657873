#pragma once
// Typed publishing end of a topic: loan a message, write its value, hand it
// back with publishLoaned.
//
//   if (auto msg = pub->loanMessage()) {
//     msg->value() = record;
//     pub->publishLoaned(std::move(msg));
//   }

#include <memory>

#include "framework/typed/message_adapter.h"
#include "orvo2/topics/publisher_base.h"

namespace Orvo {

template <typename T>
class Publisher : public PublisherBase {
public:
  using Ptr = std::shared_ptr<Publisher<T>>;

  // Control cycle, any thread; lock-free, never allocates. A loaned message
  // (holding the last value written into it) or null when none is free.
  std::shared_ptr<MessageAdapter<T>> loanMessage() { return loan_as<MessageAdapter<T>>(); }

  ~Publisher() override = default;

protected:
  // Made by Topic::make_publisher<T> from the untyped publisher.
  explicit Publisher(PublisherBase&& base) : PublisherBase(std::move(base)) {}
};

}  // namespace Orvo
