#pragma once
// A time as whole seconds and nanoseconds, as the simulator reports it.

#include <cstdint>

namespace gazebo {
namespace common {

class Time {
public:
  Time() = default;
  Time(int32_t sec_, int32_t nsec_) : sec(sec_), nsec(nsec_) {}
  // Any thread; from a count of nanoseconds (non-negative).
  static Time FromNanoseconds(int64_t ns) {
    return Time(static_cast<int32_t>(ns / 1000000000), static_cast<int32_t>(ns % 1000000000));
  }
  // Any thread; the time in seconds.
  double Double() const { return sec + nsec * 1e-9; }
  // Any thread; the time in nanoseconds.
  int64_t Nanoseconds() const { return int64_t(sec) * 1000000000 + nsec; }

  int32_t sec = 0;
  int32_t nsec = 0;
};

}  // namespace common
}  // namespace gazebo
