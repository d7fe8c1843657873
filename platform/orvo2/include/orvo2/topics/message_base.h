#pragma once
// Polymorphic header of every message that travels on a topic. The typed
// adapter (framework/typed/message_adapter.h) holds the payload right after it.

#include <iosfwd>
#include <memory>
#include <typeinfo>

namespace Orvo {

class MessageBase {
public:
  MessageBase() = default;
  MessageBase(const MessageBase&) = default;
  MessageBase& operator=(const MessageBase&) = default;

  // Set-up only (allocates): a new message holding a copy of the payload.
  virtual std::unique_ptr<MessageBase> clone() const = 0;
  // Any thread: writes the payload and returns true when its type has a
  // stream output operator; otherwise writes nothing and returns false.
  virtual bool print(std::ostream& os) const = 0;
  // Any thread; allocates. Writes <message type="..."> with the printed
  // payload (escaped) as its text.
  virtual void toXml(std::ostream& os) const;
  // A message has no XML reader of its own: reads nothing and returns false.
  virtual bool fromXml(std::istream& is);
  // Any thread; never allocates.
  virtual const std::type_info& getTypeInfo() const = 0;
  virtual ~MessageBase();
};

}  // namespace Orvo
