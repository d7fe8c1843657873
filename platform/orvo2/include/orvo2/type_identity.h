#pragma once

#include <cstring>
#include <typeinfo>

namespace Orvo {

// True when `requested` is the type `stored` names: the same name pointer, or
// equal names unless the stored name begins with '*' (a type local to one
// library, which matches only by pointer).
inline bool same_type(const std::type_info& stored, const std::type_info& requested) {
  const char* const a = stored.name();
  const char* const b = requested.name();
  return a == b || (a[0] != '*' && std::strcmp(a, b) == 0);
}

}  // namespace Orvo
