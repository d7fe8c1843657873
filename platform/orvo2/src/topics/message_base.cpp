#include "orvo2/topics/message_base.h"

#include <istream>
#include <ostream>
#include <sstream>

#include "orvo2/type_names/demangle.h"

namespace Orvo {
namespace {

void write_escaped(std::ostream& os, const std::string& text) {
  for (const char c : text) {
    switch (c) {
      case '<': os << "&lt;"; break;
      case '>': os << "&gt;"; break;
      case '&': os << "&amp;"; break;
      case '"': os << "&quot;"; break;
      default: os << c;
    }
  }
}

}  // namespace

void MessageBase::toXml(std::ostream& os) const {
  std::ostringstream payload;
  print(payload);
  os << "<message type=\"";
  write_escaped(os, demangle(getTypeInfo()));
  os << "\">";
  write_escaped(os, payload.str());
  os << "</message>";
}

bool MessageBase::fromXml(std::istream&) { return false; }

MessageBase::~MessageBase() = default;

}  // namespace Orvo
