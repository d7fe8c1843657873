#include "orvo2/shm_segment.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace Orvo {
namespace shm {

ShmSegment::~ShmSegment() { unmap(); }

int ShmSegment::map_fd(int fd, std::size_t size) {
  void* address = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  const int error = errno;
  ::close(fd);
  if (address == MAP_FAILED) {
    return error;
  }
  _data = static_cast<unsigned char*>(address);
  _size = size;
  return 0;
}

int ShmSegment::create_exclusive(const std::string& name, std::size_t size) {
  unmap();
  const int fd = ::shm_open(name.c_str(), O_CREAT | O_EXCL | O_RDWR, 0600);
  if (fd < 0) {
    return errno;
  }
  if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
    const int error = errno;
    ::close(fd);
    ::shm_unlink(name.c_str());
    return error;
  }
  const int error = map_fd(fd, size);
  if (error != 0) {
    ::shm_unlink(name.c_str());
  }
  return error;
}

int ShmSegment::open_existing(const std::string& name) {
  unmap();
  const int fd = ::shm_open(name.c_str(), O_RDWR, 0);
  if (fd < 0) {
    return errno;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int error = errno;
    ::close(fd);
    return error;
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
    _data = nullptr;
    _size = 0;
  }
}

void ShmSegment::unlink(const std::string& name) { ::shm_unlink(name.c_str()); }

}  // namespace shm
}  // namespace Orvo
