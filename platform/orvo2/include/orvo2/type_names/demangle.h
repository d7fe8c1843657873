#pragma once

#include <string>
#include <typeinfo>

namespace Orvo {

// Readable name of a type; a leading '*' of the raw name (a type local to
// one library) is skipped.
std::string demangle(const char* raw_name);

inline std::string demangle(const std::type_info& type) { return demangle(type.name()); }

template <typename T>
std::string demangle() {
  return demangle(typeid(T).name());
}

}  // namespace Orvo
