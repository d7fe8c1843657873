#pragma once
// Identity of a thread: compared by id, named only for messages.

#include <pthread.h>

#include <cstring>
#include <ostream>
#include <string>

#include <fmt/format.h>
#include <fmt/ostream.h>

namespace Orvo {

class thread_id {
public:
  // Any thread; reads the name once (at most 15 characters).
  explicit thread_id(pthread_t id = pthread_self()) : _id(id) {
    char buf[16];
    std::memset(buf, 0, sizeof(buf));
    pthread_getname_np(id, buf, sizeof(buf));
    _name = std::string(buf, strnlen(buf, sizeof(buf)));
  }

  pthread_t id() const { return _id; }
  const std::string& name() const { return _name; }

  bool operator==(const thread_id& other) const { return pthread_equal(_id, other._id) != 0; }
  bool operator!=(const thread_id& other) const { return !(*this == other); }

private:
  pthread_t _id;
  std::string _name;
};

// "<id> (<name>)"
inline std::ostream& operator<<(std::ostream& os, const thread_id& tid) {
  return os << static_cast<unsigned long>(tid.id()) << " (" << tid.name() << ")";
}

}  // namespace Orvo

template <>
struct fmt::formatter<Orvo::thread_id> : fmt::ostream_formatter {};
