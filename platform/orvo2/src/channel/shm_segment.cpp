#include "orvo2/channel/shm_segment.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

namespace Orvo {
namespace shm {

namespace {

// The permission bits that let group or other at an object.
constexpr mode_t kSharedBits = S_IRWXG | S_IRWXO;

bool trusted(const struct stat& info) {
  return info.st_uid == ::geteuid() && (info.st_mode & kSharedBits) == 0;
}

struct flock byte_range(short type, int byte) {
  struct flock range {};
  range.l_type = type;
  range.l_whence = SEEK_SET;
  range.l_start = byte;
  range.l_len = 1;
  return range;
}

int lock_fd(int fd, int byte) {
  struct flock range = byte_range(F_WRLCK, byte);
  if (::fcntl(fd, F_OFD_SETLK, &range) == 0) {
    return 0;
  }
  return errno == EACCES ? EAGAIN : errno;
}

}  // namespace

ShmSegment::~ShmSegment() { unmap(); }

int ShmSegment::map_fd(int fd, std::size_t size) {
  void* address = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (address == MAP_FAILED) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  _data = static_cast<unsigned char*>(address);
  _size = size;
  _fd = fd;
  return 0;
}

int ShmSegment::create_exclusive(const std::string& name, std::size_t size, int lock_byte) {
  unmap();
  const int fd = ::shm_open(name.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
  if (fd < 0) {
    return errno;
  }
  // The umask may have taken bits away; it never adds any. The pages are
  // reserved now: an object only sized would raise SIGBUS at its first write
  // when the file system is full.
  int error = ::fchmod(fd, 0600) != 0 ? errno : lock_fd(fd, lock_byte);
  if (error == 0) {
    error = ::posix_fallocate(fd, 0, static_cast<off_t>(size));
  }
  if (error != 0) {
    ::close(fd);
    ::shm_unlink(name.c_str());
    return error;
  }
  error = map_fd(fd, size);
  if (error != 0) {
    ::shm_unlink(name.c_str());
  }
  return error;
}

// The owner of an object this user cannot open, from its file: POSIX shared
// memory lives in /dev/shm on Linux. A stack buffer: no allocation.
void ShmSegment::look_up_owner(const std::string& name) {
  char path[512];
  struct stat info {};
  if (std::snprintf(path, sizeof(path), "/dev/shm%s", name.c_str()) < static_cast<int>(sizeof(path)) &&
      ::stat(path, &info) == 0) {
    _owner = info.st_uid;
    _mode = info.st_mode & 07777;
  }
}

int ShmSegment::open_existing(const std::string& name) {
  unmap();
  _owner = static_cast<uid_t>(-1);
  _mode = 0;
  const int fd = ::shm_open(name.c_str(), O_RDWR, 0);
  if (fd < 0) {
    const int error = errno;
    if (error == EACCES) {
      look_up_owner(name);
    }
    return error;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return error;
  }
  _owner = info.st_uid;
  _mode = info.st_mode & 07777;
  if (!trusted(info)) {
    ::close(fd);
    return EPERM;
  }
  if (info.st_size <= 0) {
    ::close(fd);
    return ENODATA;
  }
  return map_fd(fd, static_cast<std::size_t>(info.st_size));
}

void ShmSegment::unmap() {
  if (_data != nullptr) {
    ::munmap(_data, _size);
    ::close(_fd);
    _data = nullptr;
    _size = 0;
    _fd = -1;
  }
}

int ShmSegment::lock(int byte) noexcept { return _fd < 0 ? EBADF : lock_fd(_fd, byte); }

bool ShmSegment::locked_elsewhere(int byte) const noexcept {
  struct flock range = byte_range(F_WRLCK, byte);
  return _fd >= 0 && ::fcntl(_fd, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
}

bool ShmSegment::intact() const noexcept {
  struct stat info {};
  return _fd >= 0 && ::fstat(_fd, &info) == 0 && static_cast<std::size_t>(info.st_size) >= _size;
}

void ShmSegment::unlink(const std::string& name) { ::shm_unlink(name.c_str()); }

}  // namespace shm
}  // namespace Orvo
