#include "jet/base/file_io.h"

#include <cerrno>
#include <sys/types.h>
#include <unistd.h>

namespace halvaro::jet {

bool read_all(int fd, void* data, size_t size, uint64_t offset) {
  auto* at = static_cast<unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = ::pread(fd, at, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) errno = 0;
    if (n <= 0) return false;
    at += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

bool write_all(int fd, const void* data, size_t size, uint64_t offset) {
  const auto* at = static_cast<const unsigned char*>(data);
  while (size > 0) {
    const ssize_t n = ::pwrite(fd, at, size, static_cast<off_t>(offset));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    size -= static_cast<size_t>(n);
    offset += static_cast<uint64_t>(n);
  }
  return true;
}

}  // namespace halvaro::jet
