#pragma once
// Records the topic tests publish.

#include <cstdint>
#include <ostream>

namespace Orvo {
namespace test {

// 44 bytes, like a joint's sensed record; `seq` numbers the messages.
struct Record {
  float seq = 0;
  float values[10] = {};
};

struct Command {
  float ref = 0;
};

struct Printable {
  int code = 0;
};
inline std::ostream& operator<<(std::ostream& os, const Printable& p) { return os << "code<" << p.code << ">"; }

}  // namespace test
}  // namespace Orvo
