#pragma once
// One POSIX shared-memory object mapped read-write into this process.
// Set-up and tear-down only: every operation is a system call.

#include <cstddef>
#include <string>

namespace Orvo {
namespace shm {

class ShmSegment {
public:
  ShmSegment() = default;
  ~ShmSegment();
  ShmSegment(const ShmSegment&) = delete;
  ShmSegment& operator=(const ShmSegment&) = delete;

  // Set-up thread; blocks in system calls. Creates `name` (which must not
  // exist yet) with `size` zero bytes and maps it. Returns 0 or an errno value.
  int create_exclusive(const std::string& name, std::size_t size);
  // Set-up thread; blocks in system calls. Maps the whole of an existing
  // object. Returns 0 or an errno value (ENOENT when there is none).
  int open_existing(const std::string& name);
  // Any thread; a system call. Unmaps; the object itself stays.
  void unmap();
  // Any thread; a system call. Removes the name; mappings stay valid.
  static void unlink(const std::string& name);

  // Any thread; never blocks.
  unsigned char* data() const { return _data; }
  std::size_t size() const { return _size; }
  bool mapped() const { return _data != nullptr; }

private:
  int map_fd(int fd, std::size_t size);

  unsigned char* _data = nullptr;
  std::size_t _size = 0;
};

}  // namespace shm
}  // namespace Orvo
