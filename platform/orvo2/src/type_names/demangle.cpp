#include "orvo2/type_names/demangle.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace Orvo {

std::string demangle(const char* raw_name) {
  if (raw_name == nullptr) {
    return {};
  }
  if (*raw_name == '*') {
    ++raw_name;
  }
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> readable(
      abi::__cxa_demangle(raw_name, nullptr, nullptr, &status), std::free);
  return (status == 0 && readable) ? std::string(readable.get()) : std::string(raw_name);
}

}  // namespace Orvo
