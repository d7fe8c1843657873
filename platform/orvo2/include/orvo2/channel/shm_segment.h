#pragma once
// One POSIX shared-memory object mapped read-write into this process.
// Every operation but the accessors is a system call.
//
// Only objects of this process's user that no other user may open are
// mapped: another user's object, or one with group or other access, could be
// read, written or truncated by someone else.

#include <sys/types.h>

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
  // exist yet) with `size` zero bytes and mode 0600 whatever the umask, and
  // maps it. Returns 0 or an errno value.
  int create_exclusive(const std::string& name, std::size_t size);
  // Set-up thread; blocks in system calls; never allocates. Maps the whole of
  // an existing object. Returns 0 or an errno value: ENOENT when there is
  // none; EPERM when it belongs to another user or grants group or other
  // access, and EACCES when this user may not open it: owner() and mode() then
  // tell whose it is.
  int open_existing(const std::string& name);
  // Any thread; a system call. Unmaps; the object itself stays.
  void unmap();
  // Any thread; a system call. Removes the name; mappings stay valid.
  static void unlink(const std::string& name);

  // Any thread; one system call, never blocks or allocates. False when the
  // object no longer covers the whole mapping (someone truncated it), so that
  // touching the mapping could raise SIGBUS.
  bool intact() const noexcept;

  // Any thread; never blocks.
  unsigned char* data() const { return _data; }
  std::size_t size() const { return _size; }
  bool mapped() const { return _data != nullptr; }
  // Owner and permission bits of the object the last open_existing() found
  // (-1 and 0 when it found none or could not tell).
  uid_t owner() const { return _owner; }
  mode_t mode() const { return _mode; }

private:
  int map_fd(int fd, std::size_t size);
  void look_up_owner(const std::string& name);

  unsigned char* _data = nullptr;
  std::size_t _size = 0;
  int _fd = -1;  // open while mapped, for intact()
  uid_t _owner = static_cast<uid_t>(-1);
  mode_t _mode = 0;
};

}  // namespace shm
}  // namespace Orvo
