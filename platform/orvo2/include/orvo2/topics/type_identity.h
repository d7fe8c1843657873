#pragma once

#include <cstring>
#include <typeinfo>

namespace Orvo {
namespace internal {

// The mangled name as the compiler stored it: type_info::name() hides the
// leading '*' that marks a type local to one library.
struct stored_type_name : std::type_info {
  static const char* of(const std::type_info& type) { return type.*(&stored_type_name::__name); }
};

}  // namespace internal

// True when `requested` is the type `stored` names: the same name pointer, or
// equal names unless the stored name begins with '*' (a type local to one
// library, which matches only by pointer). Any thread; never allocates.
inline bool same_type(const std::type_info& stored, const std::type_info& requested) {
  const char* const a = internal::stored_type_name::of(stored);
  const char* const b = internal::stored_type_name::of(requested);
  if (a == b) {
    return true;
  }
  return a[0] != '*' && std::strcmp(a, b[0] == '*' ? b + 1 : b) == 0;
}

}  // namespace Orvo
