#pragma once
// True when a `const T&` can be written to a std::ostream with operator<<.

#include <ostream>
#include <type_traits>
#include <utility>

namespace Orvo {
namespace internal {

template <typename T, typename = void>
struct has_stream_output : std::false_type {};
template <typename T>
struct has_stream_output<T, std::void_t<decltype(std::declval<std::ostream&>() << std::declval<const T&>())>>
    : std::true_type {};

}  // namespace internal
}  // namespace Orvo
