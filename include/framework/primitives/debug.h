#pragma once
// Developer traces switched on by the environment variable ORVO2_LDEBUG.
// A trace point costs one comparison of a function-local static when off.
//
//   ORVO2_DEBUG_TRACE(1, "advertiseService", "Advertising service '{}' \n", name);
//
// prints "[dbg ][advertiseService] " and the formatted text to standard output
// when the level is above 1.

#include <cstdio>
#include <cstdlib>

#include <fmt/format.h>

namespace Orvo {
namespace internal {

// Thread-local cache of getenv("ORVO2_LDEBUG"); 0 when unset or not a number.
inline int get_debug_verbosity() {
  thread_local const char* verb_cstr = nullptr;
  thread_local bool verb_read = false;
  if (!verb_read) {
    verb_cstr = std::getenv("ORVO2_LDEBUG");
    verb_read = true;
  }
  if (verb_cstr == nullptr) {
    return 0;
  }
  return static_cast<int>(std::strtol(verb_cstr, nullptr, 10));
}

template <typename... Args>
void debug_print(const char* function, fmt::format_string<Args...> format, Args&&... args) {
  fmt::print("[dbg ][{}] ", function);
  fmt::print(format, std::forward<Args>(args)...);
  std::fflush(stdout);
}

}  // namespace internal
}  // namespace Orvo

// Each expansion keeps its own level, read at its first pass.
#define ORVO2_DEBUG_TRACE(threshold, function, ...)                                      \
  do {                                                                                   \
    static const int orvo2_verbosity_ = ::Orvo::internal::get_debug_verbosity();        \
    if (orvo2_verbosity_ > (threshold)) {                                                \
      ::Orvo::internal::debug_print(function, __VA_ARGS__);                              \
    }                                                                                    \
  } while (false)
