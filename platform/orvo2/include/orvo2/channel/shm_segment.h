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
  // exist yet) with mode 0600 whatever the umask, takes the lock on byte
  // `lock_byte` (see lock()), reserves `size` zero bytes (so that a full file
  // system is ENOSPC here, not SIGBUS at the first write) and maps it. Returns
  // 0 or an errno value; on failure the name is removed again.
  int create_exclusive(const std::string& name, std::size_t size, int lock_byte);
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

  // Any thread; one system call, never blocks or allocates. Takes the write
  // lock on byte `byte` of the mapped object for this mapping: an open file
  // description lock, held until unmap() or the end of the process, which no
  // other mapping can take meanwhile. Returns 0, EAGAIN when another mapping
  // holds it, or another errno value.
  int lock(int byte) noexcept;
  // Any thread; one system call, never blocks or allocates. True when another
  // mapping of the object holds the lock on byte `byte`: some process that may
  // open the object still has it mapped.
  bool locked_elsewhere(int byte) const noexcept;

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
