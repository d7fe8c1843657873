#pragma once
// A roscpp input stream that refuses an array whose count claims more
// elements than the bytes left in the message could hold, before the array
// is sized. roscpp's own stream sizes an array from the count it reads (up to
// four billion elements) and only then finds the bytes missing; for arrays of
// numbers the byte count can even wrap to zero, so that a message of a few
// bytes decodes into gigabytes.
//
// It also refuses an array of more elements than the stream was told to
// allow, and keeps of a string no more characters than it was told to, so
// that the cost of decoding and using a message stays bounded: a name longer
// than every name the reader knows is kept cut to one character more than the
// longest, which still matches none of them and, kept that short, often fits
// in the string itself instead of taking memory of its own.
//
// Decoding with it (ros::serialization::deserialize(stream, message)) throws
// ros::serialization::StreamOverrunException naming the count and the bytes
// left, or std::length_error naming the count and the limit. Any thread;
// allocates what the message really holds, strings cut as above.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include <fmt/format.h>
#include <ros/message_traits.h>
#include <ros/serialization.h>

namespace Orvo {

// The fewest bytes one array element of type T takes on the wire.
template <typename T>
uint64_t min_wire_size() {
  if constexpr (std::is_arithmetic_v<T>) {
    return sizeof(T);
  } else if constexpr (std::is_same_v<T, std::string>) {
    return 4;  // its length
  } else if constexpr (ros::message_traits::IsFixedSize<T>::value) {
    return std::max<uint64_t>(1, ros::serialization::serializationLength(T()));
  } else {
    return 4;  // a message of variable size holds at least one length
  }
}

class CheckedIStream : public ros::serialization::IStream {
public:
  CheckedIStream(uint8_t* data, uint32_t count, uint32_t max_elements = std::numeric_limits<uint32_t>::max(),
                 uint32_t max_string = std::numeric_limits<uint32_t>::max())
      : IStream(data, count), _max_elements(max_elements), _max_string(max_string) {}

  // An array: its count is checked against the bytes left first.
  template <typename T, typename A>
  void next(std::vector<T, A>& values) {
    if (getLength() >= sizeof(uint32_t)) {
      uint32_t count = 0;
      std::memcpy(&count, getData(), sizeof(count));
      if (count > _max_elements) {
        throw std::length_error(
            fmt::format("an array of {} elements, more than the {} allowed", count, _max_elements));
      }
      const uint64_t needed = static_cast<uint64_t>(count) * min_wire_size<T>();
      const uint64_t left = getLength() - sizeof(uint32_t);
      if (needed > left) {
        throw ros::serialization::StreamOverrunException(
            fmt::format("an array of {} elements needs at least {} bytes, {} are left", count, needed, left));
      }
    }
    ros::serialization::deserialize(*this, values);
  }

  // A string: its characters past the limit are passed over, not copied.
  void next(std::string& value) {
    uint32_t length = 0;
    ros::serialization::deserialize(*this, length);
    const uint8_t* characters = advance(length);
    value.assign(reinterpret_cast<const char*>(characters), std::min(length, _max_string));
  }

  template <typename T>
  void next(T& value) {
    ros::serialization::deserialize(*this, value);
  }

  template <typename T>
  CheckedIStream& operator>>(T& value) {
    next(value);
    return *this;
  }

private:
  uint32_t _max_elements;
  uint32_t _max_string;
};

}  // namespace Orvo
